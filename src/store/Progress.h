#pragma once

#include <QtGlobal>
#include <qnamespace.h>

#include <atomic>
#include <functional>
#include <limits>

// Thrown out of a long step whose progress hook asked to stop. `contacts` is the count the
// step had reached when it stopped; for the card export, the cards written.
struct Cancelled
{
    qint64 contacts = 0;
};

// How far a long step (an import, an export) has come, and the user's wish to stop it.
//
// The step counts through a Part: a call of Part::at() is one comparison, and only once
// every `every` units of work (a megabyte of a file, a few hundred contacts) does the part
// hand its counts over. On the thread that made the Progress the hook then hears them and
// may ask to stop, which ends the step with Cancelled. A step that runs in two halves at
// once has a Part on each thread; the other thread's part only hands its counts over and
// sees the stop, so that the hook, which keeps a window up to date, runs on one thread.
class Progress
{
public:
    // Hears the work done of `total` and the contacts so far; false asks to stop.
    using Hook = std::function<bool(qint64 done, qint64 total, qint64 contacts)>;

    Progress(qint64 total, qint64 every, Hook hook);
    Progress(const Progress &) = delete;
    Progress &operator=(const Progress &) = delete;

    qint64 total() const { return m_total; }
    // Tells the hook the counts so far; for the thread that made the Progress while it waits
    // for the other half of its step. False once a stop was asked for.
    bool poll();
    bool stopped() const { return m_stop.load(std::memory_order_relaxed); }

    // One share of the work, counted on one thread. `done` grows from 0 to the part's share
    // of the total; the first call always reports.
    class Part
    {
    public:
        // Without a Progress the part counts nothing and never stops.
        explicit Part(Progress *progress);

        void at(qint64 done, qint64 contacts)
        {
            if (done >= m_next) [[unlikely]]
                reached(done, contacts);
        }

    private:
        void reached(qint64 done, qint64 contacts);

        Progress *m_progress;
        qint64 m_next;
        int m_slot = 0;
        bool m_reports = false; // on the thread that made the Progress
    };

private:
    // A step is done in two halves at most.
    static constexpr int kParts = 2;

    const qint64 m_total;
    const qint64 m_every;
    const Hook m_hook;
    const Qt::HANDLE m_thread;
    std::atomic<int> m_parts{0};
    std::atomic<bool> m_stop{false};
    std::atomic<qint64> m_done[kParts] = {};
    std::atomic<qint64> m_contacts[kParts] = {};
};
