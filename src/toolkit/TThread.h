#pragma once
// A thread with the shape the program's poll and worker threads need:
// Execute on its own thread, a terminate request, a blocking hand-over into
// the main thread (Synchronize), a wait for its end that keeps serving
// hand-overs, self-release when Execute returns, and a pause gate.
//
// The derived class calls Start() at the end of its own constructor, so that
// Execute never runs on a half-built object.

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

class TThread {
public:
    TThread();
    virtual ~TThread();
    TThread(const TThread&) = delete;
    TThread& operator=(const TThread&) = delete;

    // Asks Execute to stop; Execute tests Terminated(). Also opens the pause gate.
    void Terminate();
    bool Terminated() const { return terminated_.load(); }

    // Pause gate: while suspended, PauseGate() blocks (until Resume or Terminate).
    void Suspend();
    void Resume();
    bool Suspended() const { return suspended_.load(); }

    // Waits until Execute has returned. On the main thread it keeps serving
    // the hand-overs of all threads meanwhile, and nothing else. Must not be
    // called from the thread itself. Safe with FreeOnTerminate: the release of
    // an ended thread happens later, on the main thread's event loop.
    void WaitFor();

    bool Finished() const;

    // Threads of every kind whose Execute has not returned yet. Whoever takes
    // down what the threads use (the windows, the driver) waits for 0 first.
    static int Running();

    // When true (the default), the object deletes itself after Execute returns.
    bool FreeOnTerminate = true;

protected:
    virtual void Execute() = 0;

    // Starts the thread; called once, by the most derived constructor.
    void Start();

    // Runs fn on the main thread and waits until it has returned.
    void Synchronize(const std::function<void()>& fn);

    // Called by Execute where it may pause (the top of a loop, never inside a driver call).
    void PauseGate();

private:
    void Run();

    struct Shared {
        std::atomic<bool> finished{false};
    };
    std::shared_ptr<Shared> shared_;
    std::atomic<bool> terminated_{false};
    std::atomic<bool> suspended_{false};
    std::mutex startMutex_;
    std::mutex pauseMutex_;
    std::condition_variable pauseChanged_;
    std::thread thread_;
};
