#include "history/history_writer.h"

#include <chrono>
#include <deque>
#include <mutex>
#include <thread>
#include <utility>

#include "history/history_db.h"
#include "history/history_error.h"
#include "history/record_failure.h"

std::string RecordUpload(const std::string& path, const UploadEntry& entry) {
    std::string failure;
    try {
        HistoryDb(path, HistoryDb::Access::Record).Record(entry);
        return {};
    } catch (const HistoryError& error) {
        failure = error.what();
    } catch (const std::exception& error) {
        failure = path + ": " + error.what();
    }
    failure = "the upload is not in the history: " + failure;
    KeepRecordFailure(path, failure);
    return failure;
}

struct HistoryWriter::Shared {
    std::string path;
    Report report;
    std::mutex lock;
    std::condition_variable changed;
    std::deque<std::pair<UploadEntry, std::function<bool()>>> waiting;
    bool busy = false;
    bool stop = false;
    bool ownerGone = false;  // the callbacks' owner may be gone
};

HistoryWriter::HistoryWriter(std::string path, Report report)
    : m_shared(std::make_shared<Shared>()) {
    m_shared->path = std::move(path);
    m_shared->report = std::move(report);
    // The thread holds the shared state: a writer given up on at exit may
    // finish after this object is gone.
    std::thread([shared = m_shared] {
        std::unique_lock<std::mutex> hold(shared->lock);
        for (;;) {
            shared->changed.wait(hold, [&] { return shared->stop || !shared->waiting.empty(); });
            if (shared->waiting.empty()) return;
            auto [entry, ackWritten] = std::move(shared->waiting.front());
            shared->waiting.pop_front();
            shared->busy = true;
            // Asked under the lock: the owner cannot go while it answers.
            if (ackWritten && !shared->ownerGone) entry.info.lastAckWritten = ackWritten();
            hold.unlock();
            const std::string failure = RecordUpload(shared->path, entry);
            if (!failure.empty() && shared->report) shared->report(failure);
            hold.lock();
            shared->busy = false;
            shared->changed.notify_all();
        }
    }).detach();
}

HistoryWriter::~HistoryWriter() {
    std::unique_lock<std::mutex> hold(m_shared->lock);
    m_shared->stop = true;
    m_shared->changed.notify_all();
    m_shared->changed.wait_for(hold, std::chrono::milliseconds(HistoryDb::kBusyMilliseconds),
                               [&] { return !m_shared->busy && m_shared->waiting.empty(); });
    m_shared->ownerGone = true;
}

void HistoryWriter::Keep(UploadEntry entry, std::function<bool()> lastAckWritten) {
    std::lock_guard<std::mutex> hold(m_shared->lock);
    m_shared->waiting.emplace_back(std::move(entry), std::move(lastAckWritten));
    m_shared->changed.notify_all();
}
