// Lets a fixed number of threads go only once all of them have arrived, so
// that their calls overlap without any waiting on time.
#pragma once

#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace tvc_test {

class start_gate {
public:
    explicit start_gate(int count) : waiting_(count) {}
    void arrive_and_wait() {
        std::unique_lock<std::mutex> lock(mutex_);
        if (--waiting_ == 0) all_arrived_.notify_all();
        all_arrived_.wait(lock, [this] { return waiting_ == 0; });
    }

private:
    std::mutex mutex_;
    std::condition_variable all_arrived_;
    int waiting_;
};

// Runs work(index) on count threads at once, from one start.
template <typename Work>
void on_threads_at_once(int count, Work work) {
    start_gate gate(count);
    std::vector<std::thread> threads;
    for (int index = 0; index < count; ++index) {
        threads.emplace_back([&, index] {
            gate.arrive_and_wait();
            work(index);
        });
    }
    for (std::thread &thread : threads) thread.join();
}

}  // namespace tvc_test
