// Runs a fuzz target over saved inputs without libFuzzer, so that builds made with another compiler or
// sanitizer still replay the regression inputs. Takes files and directories (each file in a directory,
// in name order); options in libFuzzer's "-name=value" form are accepted and ignored.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize);

namespace {

bool runFile(const std::filesystem::path& path)
{
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        std::fprintf(stderr, "cannot read %s\n", path.c_str());
        return false;
    }
    const std::vector<char> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    std::fprintf(stderr, "running %s (%zu bytes)\n", path.c_str(), bytes.size());
    LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    int nRun = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string strArg = argv[i];
        if (strArg.size() > 1 && strArg[0] == '-')
            continue;
        std::vector<std::filesystem::path> files;
        if (std::filesystem::is_directory(strArg)) {
            for (const auto& entry : std::filesystem::directory_iterator(strArg))
                if (entry.is_regular_file())
                    files.push_back(entry.path());
            std::sort(files.begin(), files.end());
        } else {
            files.push_back(strArg);
        }
        for (const auto& path : files) {
            if (!runFile(path))
                return 1;
            ++nRun;
        }
    }
    std::fprintf(stderr, "replayed %d input(s)\n", nRun);
    return 0;
}
