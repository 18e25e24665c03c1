#include "core/sensors/SensorBuffer.h"

#include <QMutexLocker>

bool SensorBuffer::append(const QByteArray& bytes)
{
    if (bytes.isEmpty())
        return true;
    QMutexLocker lock(&m_mutex);
    m_data.append(bytes);
    const bool kept = m_data.size() <= maxBytes;
    if (!kept) {
        m_data.clear();
        m_reset = true;
    }
    ++m_generation;
    m_changed.wakeAll();
    return kept;
}

void SensorBuffer::clear()
{
    QMutexLocker lock(&m_mutex);
    m_data.clear();
    m_reset = true;
    ++m_generation;
    m_changed.wakeAll();
}

bool SensorBuffer::waitForChange(const std::atomic<bool>& stop)
{
    QMutexLocker lock(&m_mutex);
    while (!stop.load() && m_generation == m_taken)
        m_changed.wait(&m_mutex);
    return !stop.load();
}

QByteArray SensorBuffer::take(bool* reset)
{
    QMutexLocker lock(&m_mutex);
    m_taken = m_generation;
    if (reset)
        *reset = m_reset;
    m_reset = false;
    return m_data;
}

void SensorBuffer::consume(int n)
{
    QMutexLocker lock(&m_mutex);
    if (!m_reset && n > 0)
        m_data.remove(0, qMin(n, m_data.size()));
}

void SensorBuffer::wake()
{
    QMutexLocker lock(&m_mutex);
    m_changed.wakeAll();
}

int SensorBuffer::size() const
{
    QMutexLocker lock(&m_mutex);
    return m_data.size();
}

bool SensorBuffer::resetPending() const
{
    QMutexLocker lock(&m_mutex);
    return m_reset;
}
