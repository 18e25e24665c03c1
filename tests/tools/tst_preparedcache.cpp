#include <QtTest>

#include <atomic>
#include <thread>

#include "PreparedCache.h"

class TestPreparedCache : public QObject
{
    Q_OBJECT
private slots:
    // Room for two photos: the least recently used one no pair holds goes,
    // a photo held by a pair stays, and one asked for by several threads at
    // once is loaded once.
    void keepsWhatFitsAndLoadsOnce()
    {
        FeatureSet features;
        features.width = 100;
        features.height = 100;
        for (int i = 0; i < 4; ++i) {
            features.keypoints.push_back({float(i), float(i), 1, 0});
            features.descriptors.insert(features.descriptors.end(), FeatureSet::descriptorSize,
                                        std::uint8_t(i));
        }
        std::atomic<int> loads[4] = {};
        PreparedCache cache(4, 2, [&](size_t k, std::uint64_t& bytes, std::string& problem) {
            ++loads[k];
            bytes = 1;
            if (k == 3) {
                problem = "cannot open 3";
                return PreparedCache::Prepared();
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            return PairMatcher::prepare(features);
        });
        std::vector<std::thread> threads;
        for (int t = 0; t < 4; ++t)
            threads.emplace_back([&] { cache.get(0); });
        for (auto& t : threads)
            t.join();
        QCOMPARE(loads[0].load(), 1);

        const PreparedCache::Prepared held = cache.get(0);
        cache.get(1);
        cache.get(2); // 1 goes: 0 is held
        // The new photo is in memory before the oldest goes.
        QCOMPARE(cache.peakBytes(), std::uint64_t(3));
        cache.get(0);
        QCOMPARE(loads[0].load(), 1);
        cache.get(1);
        QCOMPARE(loads[1].load(), 2);

        std::string why;
        QVERIFY(!cache.get(3, &why));
        QVERIFY(!cache.get(3));
        QCOMPARE(loads[3].load(), 1);
        QCOMPARE(cache.failure(3), std::string("cannot open 3"));
        QCOMPARE(why, cache.failure(3));
    }
};

QTEST_GUILESS_MAIN(TestPreparedCache)
#include "tst_preparedcache.moc"
