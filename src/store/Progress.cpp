#include "Progress.h"

#include <QThread>

#include <algorithm>

Progress::Progress(qint64 total, qint64 every, Hook hook)
    : m_total(total), m_every(std::max<qint64>(every, 1)), m_hook(std::move(hook)),
      m_thread(QThread::currentThreadId())
{
}

bool Progress::poll()
{
    if (stopped())
        return false;
    qint64 done = 0;
    qint64 contacts = 0;
    for (int i = 0; i < kParts; ++i) {
        done += m_done[i].load(std::memory_order_relaxed);
        contacts += m_contacts[i].load(std::memory_order_relaxed);
    }
    if (m_hook && !m_hook(done, m_total, contacts))
        m_stop.store(true, std::memory_order_relaxed);
    return !stopped();
}

Progress::Part::Part(Progress *progress)
    : m_progress(progress), m_next(progress ? 0 : std::numeric_limits<qint64>::max())
{
    if (!progress)
        return;
    m_slot = std::min(progress->m_parts.fetch_add(1, std::memory_order_relaxed), kParts - 1);
    m_reports = QThread::currentThreadId() == progress->m_thread;
}

void Progress::Part::reached(qint64 done, qint64 contacts)
{
    m_next = done + m_progress->m_every;
    m_progress->m_done[m_slot].store(done, std::memory_order_relaxed);
    m_progress->m_contacts[m_slot].store(contacts, std::memory_order_relaxed);
    if (m_reports ? !m_progress->poll() : m_progress->stopped())
        throw Cancelled{contacts};
}
