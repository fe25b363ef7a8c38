// Replays fuzz inputs without libFuzzer: every file named on the command line,
// or found in a directory named there, goes once through the target, each in
// a heap block of exactly its size. Exits non-zero when there was nothing to
// replay; a fault in the target ends the process as it would under the fuzzer.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fuzz_support.h"

static bool replay_file(const std::filesystem::path& path) {
    std::ifstream stream(path, std::ios::binary);
    if (!stream) return false;
    std::vector<char> bytes((std::istreambuf_iterator<char>(stream)), std::istreambuf_iterator<char>());
    uint8_t* block = (uint8_t*)malloc(bytes.empty() ? 1 : bytes.size());
    if (!block) return false;
    if (!bytes.empty()) memcpy(block, bytes.data(), bytes.size());
    LLVMFuzzerTestOneInput(block, bytes.size());
    free(block);
    return true;
}

int main(int argc, char** argv) {
    std::vector<std::filesystem::path> inputs;
    for (int i = 1; i < argc; i++) {
        std::filesystem::path named = argv[i];
        std::error_code error;
        if (std::filesystem::is_directory(named, error)) {
            for (const auto& entry : std::filesystem::directory_iterator(named, error))
                if (entry.is_regular_file()) inputs.push_back(entry.path());
        } else {
            inputs.push_back(named);
        }
    }
    std::sort(inputs.begin(), inputs.end());
    int replayed = 0;
    for (const auto& path : inputs) {
        if (!replay_file(path)) {
            fprintf(stderr, "cannot read %s\n", path.c_str());
            return 2;
        }
        replayed++;
    }
    fprintf(stderr, "replayed %d inputs\n", replayed);
    return replayed > 0 ? 0 : 1;
}
