#pragma once

#include <atomic>
#include <functional>
#include <memory>

// How long work off the UI thread (a search, a conversion, a backup job) reports how far it is
// and learns that it is to stop. The worker is told before each step; the thread that started it
// asks it to stop through a shared flag, which the worker sees at its next step. What is done
// stays done: a step is never left half way.
namespace work {

// Told before each step how many steps are done and how many there are in all; false stops the
// work there.
using Progress = std::function<bool(int done, int total)>;

// A request to stop, shared by the thread that asks and the worker that checks. Copies share the
// one flag.
class Cancel {
public:
    Cancel() : m_flag(std::make_shared<std::atomic_bool>(false)) {}

    void request() const { m_flag->store(true); }
    bool requested() const { return m_flag->load(); }
    // The question a worker asks before each step: true when it is to stop.
    std::function<bool()> asker() const {
        return [flag = m_flag] { return flag->load(); };
    }
    // A progress that tells told (when set) and stops the work as soon as a stop was requested,
    // or when told says so.
    Progress checking(Progress told = {}) const {
        return [flag = m_flag, told = std::move(told)](int done, int total) {
            if (flag->load()) return false;
            return told ? told(done, total) : true;
        };
    }

private:
    std::shared_ptr<std::atomic_bool> m_flag;
};

} // namespace work
