// Without libFuzzer (GCC builds, `make test`): runs the fuzz target once on
// every file named on the command line and every file inside every
// directory named there, so that each corpus is replayed on every test run.

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "FuzzTarget.h"

int main(int argc, char** argv) {
    namespace fs = std::filesystem;
    std::vector<fs::path> inputs;
    for(int i = 1; i < argc; ++i) {
        std::error_code ec;
        if(fs::is_directory(argv[i], ec)) {
            for(const fs::directory_entry& e: fs::recursive_directory_iterator{argv[i], ec})
                if(e.is_regular_file(ec)) inputs.push_back(e.path());
        } else inputs.emplace_back(argv[i]);
    }
    std::sort(inputs.begin(), inputs.end());
    for(const fs::path& input: inputs) {
        std::ifstream file{input, std::ios::binary};
        if(!file) {
            std::fprintf(stderr, "cannot read %s\n", input.c_str());
            return 1;
        }
        const std::string bytes{std::istreambuf_iterator<char>{file}, std::istreambuf_iterator<char>{}};
        LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    }
    std::printf("%zu inputs replayed\n", inputs.size());
    return inputs.empty() ? 1 : 0;
}
