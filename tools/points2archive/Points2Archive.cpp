#include "Points2Archive.h"

#include "CloudReader.h"
#include "PointSpool.h"
#include "common/files/AtomicFile.h"

#include <osg/BoundingBox>
#include <osgDB/Archive>
#include <osgDB/Registry>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <vector>


namespace
{

bool stopped(const std::atomic<bool>* stop, std::string& error)
{
    if (!stop || !*stop)
        return false;
    error = "stopped";
    return true;
}

// Reads the input into the spool as it comes, in survey coordinates.
bool spoolInput(const ArchiveOptions& options, const std::atomic<bool>* stop, std::ostream& progress,
                PointSpool& spool, osg::BoundingBoxd& bounds, std::string& error)
{
    CloudReader reader;
    if (!reader.open(options, error))
        return false;
    progress << "Points2Archive: reading " << options.input << " (" << reader.description() << ")"
             << std::endl;
    if (!spool.create(options.intermediatePath(), error))
        return false;

    std::vector<InputPoint> block;
    std::vector<ArchivePoint> converted;
    int reportedPercent = 0;
    while (!stopped(stop, error) && reader.next(block, error)) {
        converted.resize(block.size());
        for (size_t i = 0; i < block.size(); ++i) {
            const InputPoint& in = block[i];
            ArchivePoint& out = converted[i];
            if (!std::isfinite(in.x) || !std::isfinite(in.y) || !std::isfinite(in.z)) {
                error = options.input + ": point " +
                        std::to_string(spool.count() + static_cast<long long>(i) + 1) + " is not a number";
                return false;
            }
            out = ArchivePoint{in.x, in.y, in.z, {in.rgba[0], in.rgba[1], in.rgba[2], in.rgba[3]}, {}};
            bounds.expandBy(in.x, in.y, in.z);
        }
        if (!spool.append(converted.data(), converted.size(), error))
            return false;
        block.clear();

        const int percent = reader.fileSize() ? int(reader.bytesRead() * 100 / reader.fileSize()) : 100;
        if (percent >= reportedPercent + 10) {
            reportedPercent = percent - percent % 10;
            progress << "read " << spool.count() << " points (" << percent << "%)" << std::endl;
        }
    }
    if (!error.empty() || stopped(stop, error))
        return false;
    if (!spool.close(error))
        return false;
    if (spool.count() == 0) {
        error = options.input + ": no points";
        return false;
    }
    return true;
}

} // namespace

bool Points2Archive::run(const ArchiveOptions& options, std::ostream& progress, std::string& error,
                         const OctreeBuilder::Settings& settings, Summary* summary)
{
    const auto start = std::chrono::steady_clock::now();
    const std::string spoolPath = options.intermediatePath();
    const std::string archivePath = options.archivePath();
    // The archive plug-in is chosen by the name, so the temporary one ends in .osga too.
    const std::string partialPath = AtomicFile::temporaryName(archivePath, ".osga");

    PointSpool spool;
    osg::BoundingBoxd bounds;
    if (!spoolInput(options, settings.stop, progress, spool, bounds, error)) {
        std::string ignored;
        spool.close(ignored);
        std::remove(spoolPath.c_str());
        return false;
    }
    const long long count = spool.count();
    progress << "read " << count << " points; building the level-of-detail tree" << std::endl;

    osgDB::ReaderWriter* plugin = osgDB::Registry::instance()->getReaderWriterForExtension("osga");
    osg::ref_ptr<osgDB::Archive> archive;
    if (plugin) {
        osgDB::ReaderWriter::ReadResult opened =
            plugin->openArchive(partialPath, osgDB::ReaderWriter::CREATE, 4096, nullptr);
        archive = opened.getArchive();
    }
    if (!archive) {
        error = "cannot create the archive " + partialPath;
        std::remove(spoolPath.c_str());
        return false;
    }

    OctreeBuilder builder(*archive, settings,
                          [&progress](const std::string& line) { progress << line << std::endl; });
    const bool built = builder.build(spoolPath, count, bounds, error);
    archive->close();
    archive = nullptr;

    bool complete = built;
    if (complete) {
        // What the archive's index names must be what was written.
        osg::ref_ptr<osgDB::Archive> check;
        osgDB::ReaderWriter::ReadResult opened =
            plugin->openArchive(partialPath, osgDB::ReaderWriter::READ, 4096, nullptr);
        check = opened.getArchive();
        osgDB::Archive::FileNameList names;
        if (!check || check->getMasterFileName() != "root.osgb" || !check->getFileNames(names) ||
            static_cast<long long>(names.size()) != builder.stats().files) {
            error = "the archive " + partialPath + " did not come out whole (is the disk full?)";
            complete = false;
        }
        if (check)
            check->close();
    }
    if (!complete) {
        AtomicFile::discard(partialPath);
        return false;
    }
    if (!AtomicFile::commit(partialPath, archivePath, &error))
        return false;

    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const OctreeBuilder::Stats& stats = builder.stats();
    progress << "Points2Archive: wrote " << archivePath << ": " << count << " points, " << stats.nodes
             << " paged nodes, " << stats.leaves << " leaves, depth " << stats.depth << ", " << stats.files
             << " files in " << seconds << " s" << std::endl;
    if (summary) {
        summary->points = count;
        summary->tree = stats;
        summary->seconds = seconds;
    }
    return true;
}
