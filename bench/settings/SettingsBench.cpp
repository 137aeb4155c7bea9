// Reading the saved file list: a settings file of about 300 KB with a FileList
// section of 3,498 long paths beside the catalogue. One operation lists the
// section's keys and reads every value through a single load(). Target: under
// 20 ms.
#include "settings/IniFile.h"

#include <benchmark/benchmark.h>

#include <QDir>
#include <QTemporaryDir>
#include <fstream>
#include <sstream>

using namespace vexlo::settings;

namespace {

constexpr int kFiles = 3498;

std::string readAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string buildSettings()
{
    std::string text = readAll(VEXLO_SOURCE_DIR "/data/vexlo.ini");
    text += "\n[Options]\nOutputFormat=3\nDestPath=/home/user/Videos/Converted/\nSaveFileList=1\n\n[FileList]\n";
    for (int i = 0; i < kFiles; ++i) {
        text += std::to_string(i) + "=/home/user/Videos/Camcorder/2023 Summer holidays (Full HD)/Day "
            + std::to_string(i % 40) + "/clip_" + std::to_string(100000 + i) + ".m2ts\n";
    }
    return text;
}

class FileListRead : public benchmark::Fixture {
public:
    void SetUp(const benchmark::State&) override
    {
        m_path = QDir(m_dir.path()).filePath("vexlo.ini").toStdString();
        const std::string text = buildSettings();
        std::ofstream(m_path, std::ios::binary) << text;
        m_bytes = text.size();
    }
    QTemporaryDir m_dir;
    std::string m_path;
    size_t m_bytes = 0;
};

BENCHMARK_DEFINE_F(FileListRead, ListAndReadAllValues)(benchmark::State& state)
{
    const IniFile ini(m_path);
    size_t total = 0;
    for (auto _ : state) {
        const IniDocument doc = ini.load();
        const std::vector<std::string> keys = doc.keys("FileList");
        for (const std::string& key : keys)
            total += doc.readText("FileList", key, "").size();
        if (keys.size() != size_t(kFiles))
            state.SkipWithError("wrong key count");
    }
    benchmark::DoNotOptimize(total);
    state.counters["file_KB"] = double(m_bytes) / 1024.0;
}
BENCHMARK_REGISTER_F(FileListRead, ListAndReadAllValues)->Unit(benchmark::kMillisecond);

// One write into the same file: lock, read, rewrite, flush to disk, rename.
BENCHMARK_DEFINE_F(FileListRead, WriteOneKey)(benchmark::State& state)
{
    IniFile ini(m_path);
    int i = 0;
    for (auto _ : state)
        ini.writeInteger("Options", "OutputFormat", i++ % 18);
}
BENCHMARK_REGISTER_F(FileListRead, WriteOneKey)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
