// The matcher's files: the match table (Bundler's layout) and the image
// viewer's records (gpu_matches). Each writer's text reads back as what was
// read; and the viewer's reader takes every record file the tools take,
// with the same matches: one grammar for both.
#include "GpuMatchFile.h"
#include "MatchTableFile.h"
#include "core/images/MatchSets.h"

#include "FuzzSupport.h"

#include <cstdio>
#include <sstream>

namespace
{

void matchTable(const std::string& text)
{
    std::istringstream in(text);
    MatchTableFile table;
    std::string error;
    if (!table.read(in, &error)) {
        fuzz::check(!error.empty());
        return;
    }
    std::ostringstream out;
    table.write(out);
    std::istringstream again(out.str());
    MatchTableFile back;
    fuzz::check(back.read(again, &error));
    fuzz::check(back.pairs.size() == table.pairs.size());
    for (size_t i = 0; i < table.pairs.size(); ++i)
        fuzz::check(back.pairs[i].first == table.pairs[i].first &&
                    back.pairs[i].second == table.pairs[i].second &&
                    back.pairs[i].matches == table.pairs[i].matches);
}

size_t viewerMatches(const QByteArray& text, bool* ok)
{
    fuzz::InputDevice device(text);
    MatchSets sets;
    QString reason;
    *ok = sets.read(device, &reason);
    fuzz::check(*ok || !reason.isEmpty());
    size_t count = 0;
    for (const MatchSets::Entry& e : sets.entries())
        for (const auto& matches : e.features)
            count += size_t(matches.size());
    return count;
}

void viewerRecords(const std::string& text)
{
    std::istringstream in(text);
    GpuMatchFile records;
    std::string error;
    bool viewerOk = false;
    const size_t fromInput = viewerMatches(QByteArray::fromStdString(text), &viewerOk);
    if (!records.read(in, &error)) {
        fuzz::check(!error.empty());
        return;
    }
    size_t expected = 0;
    for (const GpuMatchFile::Record& r : records.records) {
        fuzz::check(r.featuresA.size() == r.featuresB.size());
        expected += 2 * r.featuresA.size(); // stored under both images
    }
    fuzz::check(viewerOk && fromInput == expected);

    std::ostringstream out;
    records.write(out);
    std::istringstream again(out.str());
    GpuMatchFile back;
    fuzz::check(back.read(again, &error));
    fuzz::check(back.records.size() == records.records.size());
    for (size_t i = 0; i < records.records.size(); ++i)
        fuzz::check(back.records[i].imageA == records.records[i].imageA &&
                    back.records[i].imageB == records.records[i].imageB &&
                    back.records[i].featuresA == records.records[i].featuresA &&
                    back.records[i].featuresB == records.records[i].featuresB);
    bool writtenOk = false;
    fuzz::check(viewerMatches(QByteArray::fromStdString(out.str()), &writtenOk) == expected && writtenOk);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // The viewer's reader names every new image on standard output.
    std::freopen("/dev/null", "w", stdout);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    matchTable(text);
    viewerRecords(text);
    return 0;
}
