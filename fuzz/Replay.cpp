// Without libFuzzer (GCC builds, `make test`): runs the fuzz target once on
// every file named on the command line and every file inside every
// directory named there, so that each corpus is replayed on every test run.
//
// With --sweep first, each of those inputs is also fed cut short at a spread
// of lengths and with bytes overwritten, from a fixed random seed, so the
// same broken inputs run every time. A crash or an input that runs longer
// than a minute prints one line naming the input and how it was made, then
// the process fails.

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include <unistd.h>

#include "FuzzTarget.h"

namespace {

/* Truncated lengths per input: size*k/Cuts for k = 0 .. Cuts - 1 */
constexpr std::size_t Cuts = 4;
/* Mutated copies per input, each with 1 to MaxOverwrites bytes replaced */
constexpr int Mutations = 4;
constexpr int MaxOverwrites = 16;
constexpr unsigned HangSeconds = 60;

/* The input being run, for the line a crash or a hang prints */
char current[1024];

void printCurrent(const char* what) {
    char line[1200];
    const int size = std::snprintf(line, sizeof(line), "%s on %s\n", what, current);
    if(size > 0) static_cast<void>(::write(STDERR_FILENO, line, std::min(std::size_t(size), sizeof(line) - 1)));
}

extern "C" void onCrash(int signal) {
    printCurrent(signal == SIGABRT ? "Abort" : "Crash");
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

extern "C" void onHang(int) {
    printCurrent("Hang");
    ::_exit(1);
}

void run(const std::string& bytes, const char* format, const std::string& input, std::size_t value) {
    std::snprintf(current, sizeof(current), format, input.c_str(), value);
    ::alarm(HangSeconds);
    LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    ::alarm(0);
}

}

int main(int argc, char** argv) {
    namespace fs = std::filesystem;
    const bool sweep = argc > 1 && std::strcmp(argv[1], "--sweep") == 0;
    std::vector<fs::path> inputs;
    for(int i = sweep ? 2 : 1; i < argc; ++i) {
        std::error_code ec;
        if(fs::is_directory(argv[i], ec)) {
            for(const fs::directory_entry& e: fs::recursive_directory_iterator{argv[i], ec})
                if(e.is_regular_file(ec)) inputs.push_back(e.path());
        } else inputs.emplace_back(argv[i]);
    }
    std::sort(inputs.begin(), inputs.end());
    for(int s: {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT}) std::signal(s, onCrash);
    std::signal(SIGALRM, onHang);

    std::size_t variants = 0;
    for(const fs::path& input: inputs) {
        std::ifstream file{input, std::ios::binary};
        if(!file) {
            std::fprintf(stderr, "cannot read %s\n", input.c_str());
            return 1;
        }
        const std::string bytes{std::istreambuf_iterator<char>{file}, std::istreambuf_iterator<char>{}};
        run(bytes, "%s", input, 0);
        if(!sweep) continue;

        for(std::size_t k = 0; k != Cuts; ++k) {
            const std::size_t length = bytes.size()*k/Cuts;
            run(bytes.substr(0, length), "%s cut to %zu bytes", input, length);
            ++variants;
        }
        /* Seeded per input, so that an input's variants do not depend on
           the inputs before it */
        std::mt19937 random{0x5eed};
        for(int m = 0; m != Mutations && !bytes.empty(); ++m) {
            std::string mutated = bytes;
            const int overwrites = std::uniform_int_distribution<int>{1, MaxOverwrites}(random);
            for(int i = 0; i != overwrites; ++i)
                mutated[std::uniform_int_distribution<std::size_t>{0, bytes.size() - 1}(random)] =
                    char(std::uniform_int_distribution<int>{0, 255}(random));
            run(mutated, "%s mutated, variant %zu", input, std::size_t(m + 1));
            ++variants;
        }
    }
    std::printf("%zu inputs replayed", inputs.size());
    if(sweep) std::printf(", %zu cut or mutated", variants);
    std::printf("\n");
    return inputs.empty() ? 1 : 0;
}
