// Building a level-of-detail archive with Points2Archive: points per second
// and peak memory, against reading the same file with the workbench's PLY
// reader in the same run (each in a forked child, one round by default).
// The machine may be shared: the CPU time of all the job's threads is given
// beside the wall time.
// Usage: archive_build_bench <cloud.ply> [rounds]

#include "BenchSupport.h"

#include "core/formats/PlyReader.h"
#include "Points2Archive.h"

#include <QFileInfo>

#include <sstream>

#include <sys/resource.h>

namespace
{

double cpuSeconds()
{
    rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_utime.tv_usec * 1e-6 + usage.ru_stime.tv_sec +
           usage.ru_stime.tv_usec * 1e-6;
}

struct Figure {
    double seconds = 0;
    double cpu = 0;
    double peakGrowth = 0; // bytes
    long long points = 0;
};

Figure measure(const std::function<long long()>& job)
{
    return BenchSupport::runInChild<Figure>([&] {
        BenchSupport::resetPeak();
        const long long before = BenchSupport::statusKb("VmRSS:");
        const double cpu = cpuSeconds();
        const BenchSupport::Stopwatch stopwatch;
        Figure f;
        f.points = BenchSupport::quiet(job);
        f.seconds = stopwatch.seconds();
        f.cpu = cpuSeconds() - cpu;
        f.peakGrowth = double(BenchSupport::statusKb("VmHWM:") - before) * 1024;
        return f;
    });
}

Figure median(const std::function<long long()>& job, int rounds)
{
    std::vector<Figure> all;
    for (int i = 0; i < rounds; ++i)
        all.push_back(measure(job));
    std::sort(all.begin(), all.end(), [](const Figure& a, const Figure& b) { return a.seconds < b.seconds; });
    return all[all.size() / 2];
}

void print(const char* name, const Figure& f)
{
    std::printf("%-16s: %7.2f s wall %9.0f points/s | %7.2f s CPU %9.0f points/CPU-s | peak %7.1f MB\n", name,
                f.seconds, f.points / f.seconds, f.cpu, f.points / f.cpu, f.peakGrowth / (1024.0 * 1024.0));
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s <cloud.ply> [rounds=1]\n", argv[0]);
        return 2;
    }
    const std::string ply = argv[1];
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 1;
    const QString folder = QFileInfo(QString::fromStdString(ply)).absolutePath();
    const std::string output = (folder + "/build_bench.bin").toStdString();
    BenchSupport::warm(ply);

    const Figure read = median(
        [&] {
            osg::ref_ptr<osg::Vec3Array> vertices = new osg::Vec3Array;
            osg::ref_ptr<osg::Vec4Array> colours = new osg::Vec4Array;
            PlyReader::readPly(QString::fromStdString(ply), *vertices, *colours);
            return static_cast<long long>(vertices->size());
        },
        rounds);

    const Figure build = median(
        [&] {
            ArchiveOptions options;
            std::string error;
            options.parse({"-i", ply, "-o", output, "-input_format", "xyzrgbi", "-output_format", "xyzrgb",
                           "-color_scale", "1.0", "-intensity_scale", "0.165", "-skip_header", "16"},
                          error);
            std::ostringstream progress;
            Points2Archive::Summary summary;
            if (!Points2Archive::run(options, progress, error, OctreeBuilder::Settings(), &summary)) {
                std::fprintf(stderr, "%s\n", error.c_str());
                return 0ll;
            }
            return summary.points;
        },
        rounds);
    const std::optional<double> archiveSize =
        BenchSupport::fileSize((folder + "/build_bench.osga").toStdString());
    QFile::remove(folder + "/build_bench.osga");
    if (build.points == 0 || read.points == 0) {
        std::fprintf(stderr, "a measurement failed\n");
        return 1;
    }

    std::printf("points: %lld\n", build.points);
    print("PLY reader", read);
    print("Points2Archive", build);
    std::printf("archive size: %.1f MB (%.1f bytes/point)\n", archiveSize.value_or(0) / (1024.0 * 1024.0),
                archiveSize.value_or(0) / build.points);
    std::printf("ratio wall time  archive / PLY reader: %.3f\n", build.seconds / read.seconds);
    std::printf("ratio CPU time   archive / PLY reader: %.3f\n", build.cpu / read.cpu);
    std::printf("ratio peak memory archive / PLY reader: %.3f\n", build.peakGrowth / read.peakGrowth);
    return 0;
}
