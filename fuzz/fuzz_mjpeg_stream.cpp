// Feeds arbitrary bytes to the camera stream parser as a server's answer,
// whole and in pieces whose sizes the input's first byte chooses. Checks
// that it never holds more than its limits allow, that each picture it
// hands out is a JPEG's start and end marker and what lies between, and that
// how the bytes are split changes nothing.

#include "FuzzChecks.h"
#include "camera/MjpegStreamParser.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace {

struct Outcome {
    StreamError error = StreamError::None;
    int frames = 0;
    std::vector<QByteArray> pictures;
};

Outcome run(QByteArrayView stream, qsizetype piece)
{
    MjpegStreamParser parser;
    Outcome outcome;
    for (qsizetype at = 0; at < stream.size(); at += piece) {
        parser.feed(stream.sliced(at, qMin(piece, stream.size() - at)));
        if (const std::optional<QByteArray> frame = parser.takeFrame()) {
            FUZZ_CHECK(frame->size() >= 4 && frame->size() <= MjpegStreamParser::MaxFrame);
            FUZZ_CHECK(frame->startsWith("\xFF\xD8") && frame->endsWith("\xFF\xD9"));
            outcome.pictures.push_back(*frame);
        }
    }
    outcome.error = parser.error();
    outcome.frames = parser.framesFound();
    return outcome;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const qsizetype piece = 1 + data[0] % 16;
    const QByteArrayView stream(reinterpret_cast<const char*>(data) + 1, qsizetype(size) - 1);
    const Outcome whole = run(stream, qMax<qsizetype>(1, stream.size()));
    const Outcome split = run(stream, piece);
    FUZZ_CHECK(whole.error == split.error);
    FUZZ_CHECK(whole.frames == split.frames);
    // Taken after every piece, there is one picture per piece that finished
    // any; taken once, only the newest is left.
    FUZZ_CHECK(split.pictures.size() <= std::size_t(split.frames));
    FUZZ_CHECK(split.pictures.empty() == (split.frames == 0));
    FUZZ_CHECK(whole.pictures.size() == (whole.frames > 0 ? 1u : 0u));
    if (whole.frames > 0)
        FUZZ_CHECK(whole.pictures.back() == split.pictures.back());
    return 0;
}
