#include "support/WidgetTestCase.h"

#include "settings/mdlMain.h"

void WidgetTestCase::init()
{
    mdlMain::ClearSettings();
    m_dir = std::make_unique<TempAppDir>();
    m_watcher = std::make_unique<ModalWatcher>();
    setUp();
}

void WidgetTestCase::cleanup()
{
    tearDown();
    m_watcher.reset();
    m_dir.reset();
}
