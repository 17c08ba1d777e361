// Runs the inputs of a fuzz target once each, without libFuzzer, so that the
// committed seeds and any input that once broke something are checked by
// every ordinary build. Takes files and folders; a folder's files run in name
// order. A broken check aborts, which fails the test.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

bool replay(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "cannot read %s\n", file.string().c_str());
        return false;
    }
    const std::vector<char> bytes{std::istreambuf_iterator<char>(in),
                                  std::istreambuf_iterator<char>()};
    std::printf("%s\n", file.string().c_str());
    std::fflush(stdout);
    LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    std::size_t count = 0;
    for (int i = 1; i < argc; ++i) {
        const std::filesystem::path argument(argv[i]);
        std::vector<std::filesystem::path> files;
        std::error_code error;
        if (std::filesystem::is_directory(argument, error)) {
            for (const auto& entry : std::filesystem::directory_iterator(argument, error)) {
                if (entry.is_regular_file())
                    files.push_back(entry.path());
            }
            if (error) {
                std::fprintf(stderr, "cannot list %s\n", argument.string().c_str());
                return 1;
            }
            std::sort(files.begin(), files.end());
        } else {
            files.push_back(argument);
        }
        for (const auto& file : files) {
            if (!replay(file))
                return 1;
            ++count;
        }
    }
    std::printf("%zu inputs replayed\n", count);
    // No inputs means a wrong path, not a pass.
    return count > 0 ? 0 : 1;
}
