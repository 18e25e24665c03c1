// Building a level-of-detail archive with Points2Archive: points per second
// and peak memory, against reading the same file with the workbench's PLY
// reader in the same run (both in forked children, one round each).
// Usage: archive_build_bench <cloud.ply> [rounds]

#include "BenchSupport.h"

#include "PlyReader.h"
#include "Points2Archive.h"

#include <QDir>
#include <QFileInfo>

#include <sstream>

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

    const BenchSupport::Figure read = BenchSupport::median(
        [&] {
            osg::ref_ptr<osg::Vec3Array> vertices = new osg::Vec3Array;
            osg::ref_ptr<osg::Vec4Array> colours = new osg::Vec4Array;
            PlyReader::readPly(QString::fromStdString(ply), *vertices, *colours);
            return static_cast<long long>(vertices->size());
        },
        rounds);

    const BenchSupport::Figure build = BenchSupport::median(
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

    const double mb = 1024.0 * 1024.0;
    std::printf("points                                   : %lld\n", build.points);
    std::printf("PLY reader (baseline)   : %7.2f s  %9.0f points/s  peak %7.1f MB\n", read.seconds,
                read.points / read.seconds, read.peakGrowth / mb);
    std::printf("Points2Archive          : %7.2f s  %9.0f points/s  peak %7.1f MB\n", build.seconds,
                build.points / build.seconds, build.peakGrowth / mb);
    std::printf("archive size                             : %.1f MB (%.1f bytes/point)\n",
                archiveSize.value_or(0) / mb, archiveSize.value_or(0) / build.points);
    std::printf("ratio time  archive / PLY reader         : %.3f\n", build.seconds / read.seconds);
    std::printf("ratio peak  archive / PLY reader         : %.3f\n", build.peakGrowth / read.peakGrowth);
    return 0;
}
