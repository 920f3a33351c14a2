// Replays fuzz inputs through a target's entry point without libFuzzer, so
// that the normal and the sanitizer builds try every committed input: each
// file named, and each file of each directory named, in name order. Every
// input is handed over in a buffer of exactly its size, as libFuzzer does, so
// that the sanitizers see a read past its end. Exits 1 when an input cannot
// be read or when there is none at all (a corpus that was not found).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

namespace fs = std::filesystem;

std::vector<fs::path> InputsOf(const fs::path& argument) {
    if (!fs::is_directory(argument))
        return {argument};
    std::vector<fs::path> inputs;
    for (const fs::directory_entry& entry : fs::directory_iterator(argument)) {
        if (entry.is_regular_file())
            inputs.push_back(entry.path());
    }
    std::sort(inputs.begin(), inputs.end());
    return inputs;
}

bool Replay(const fs::path& input) {
    std::error_code error;
    const std::uintmax_t size = fs::file_size(input, error);
    std::ifstream file(input, std::ios::binary);
    const std::unique_ptr<uint8_t[]> bytes(new uint8_t[error ? 0 : size]);
    if (error ||
        !file.read(reinterpret_cast<char*>(bytes.get()), static_cast<std::streamsize>(size))) {
        std::fprintf(stderr, "cannot read %s\n", input.c_str());
        return false;
    }
    LLVMFuzzerTestOneInput(bytes.get(), size);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    size_t replayed = 0;
    for (int i = 1; i < argc; ++i) {
        for (const fs::path& input : InputsOf(argv[i])) {
            // Named before it runs, so that a crash shows which input it was.
            std::fprintf(stderr, "replaying %s\n", input.c_str());
            if (!Replay(input))
                return 1;
            ++replayed;
        }
    }
    std::printf("%zu inputs replayed\n", replayed);
    return replayed == 0 ? 1 : 0;
}
