// Runs a fuzz target over every file of its kept corpus, so that the
// interesting inputs found by fuzzing stay checked by the ordinary tests.
// Arguments are corpus folders or single inputs (a crash to reproduce).
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

int main(int argc, char** argv)
{
    namespace fs = std::filesystem;
    std::vector<fs::path> inputs(argv + 1, argv + argc);
    std::size_t count = 0;
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        if (fs::is_directory(inputs[i])) {
            inputs.insert(inputs.end(), fs::directory_iterator(inputs[i]), fs::directory_iterator());
            continue;
        }
        std::ifstream in(inputs[i], std::ios::binary);
        const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
        ++count;
    }
    std::printf("replayed %zu inputs\n", count);
    return count > 0 ? 0 : 1;
}
