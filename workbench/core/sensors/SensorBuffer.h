#pragma once

#include <QByteArray>
#include <QMutex>
#include <QWaitCondition>

#include <atomic>

// The serial receive buffer shared by the port side (GUI thread) and the
// stream thread: the bytes not parsed yet, bounded, and the reset flag that
// tells the reader to start again from the beginning, all under one lock
// held briefly by each side. The reader sleeps until something changes.
class SensorBuffer
{
public:
    static constexpr int maxBytes = 9999;

    // Port side. Appends what arrived; when the buffer then holds more than
    // maxBytes it is dropped (false) and the reset flag is set.
    bool append(const QByteArray& bytes);
    // Empties the buffer and sets the reset flag.
    void clear();

    // Reader side. Blocks until the buffer changed since the last take(), or
    // until stop is set and wake() called; false when stopped.
    bool waitForChange(const std::atomic<bool>& stop);
    // The unparsed bytes; *reset tells whether the buffer was cleared since
    // the last take(), and the flag is cleared.
    QByteArray take(bool* reset);
    // Drops the first n bytes (what the reader parsed of its last take()),
    // unless the buffer was cleared in between.
    void consume(int n);
    // Wakes a waiting reader so it can look at its stop flag.
    void wake();

    int size() const;
    bool resetPending() const;

private:
    mutable QMutex m_mutex;
    QWaitCondition m_changed;
    QByteArray m_data;
    bool m_reset = false;
    quint64 m_generation = 0; // counts appends and clears
    quint64 m_taken = 0;      // the generation the reader last took
};
