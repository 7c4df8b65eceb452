#pragma once
// What a viewer knows of a shared station: its latest display frame, its
// state, who holds the control token, and what the station or the broker last
// told this viewer. Fed with the station's messages on the broker client's
// thread, read by the viewer backend on the poll, main and worker threads.
//
// A frame is taken only when it passes the poll engine's own acceptance rules
// and is exactly one frame; anything else on the frame topic (a client with
// write rights publishing garbage) is dropped and the last good frame stays.
// Payloads that do not parse, or carry another version, change nothing.
//
// The station beats (publishes its state every kBeatPeriodMs). Only a state
// published while we listen counts as hearing it, not the retained one the
// broker hands over as we subscribe: a station not heard for kMissedBeats
// periods since the last beat (or since our connection came up) is "not
// heard", and a viewer shows it off-line with Away() and sends no keys. Times
// come from AppClock().

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace share {

class StationView {
public:
    enum class State {
        Unknown, // nothing heard from the station yet
        Online,  // polling, the amplifier answers
        Quiet,   // the link is up but the amplifier says nothing (silent, or a firmware update runs)
        Down,    // link lost, stopped or gone: a viewer goes off-line with the detail
    };

    struct Snapshot {
        std::uint64_t version = 0;  // advances with every change below
        std::uint64_t frameSeq = 0; // advances with every new frame taken
        std::vector<std::uint8_t> frame;
        State state = State::Unknown;
        std::string detail; // the station's words on its state
        std::string holder; // who holds the control token; empty when nobody
        std::string notice; // the last refusal told to this viewer
        bool brokerUp = false;
        std::string brokerDetail;   // why the broker connection ended or failed
        std::int64_t downForMs = 0; // how long the state has been Down
        std::string aclWarning;     // set when the broker let us key under another name

        std::uint64_t beat = 0;       // the last beat heard (0: none yet)
        std::int64_t sinceBeatMs = 0; // how long ago it was heard
        std::int64_t notHeardMs = 0;  // how long the station has not been heard, past the missed beats; else 0
    };

    // Why the station cannot be seen now, for the off-line look; empty
    // while it can (the broker connection is up and the station beats).
    static std::string Away(const Snapshot& snapshot);

    // A broker that shuts down sends its clients' last wills before it
    // closes the connections: a station that reads as gone just before our
    // own connection ends was not gone. Down counts once it has lasted this
    // long with the broker up; a connection lost sooner takes it back.
    static constexpr int kDownSettleMs = 500;

    // One message under the station's prefix: `subtopic` is what follows
    // it ("state", "frame", "control", "notice/alice", ...). `retained`: the
    // broker handed it over as we subscribed.
    void OnMessage(std::string_view subtopic, const std::uint8_t* payload, std::size_t size, bool retained = false);
    // The broker connection came or went; `why` says what happened.
    void SetBrokerUp(bool up, const std::string& why = {});
    // A refusal learnt otherwise than from the station (the broker's answer).
    void SetNotice(const std::string& text);
    void SetAclWarning(const std::string& text);
    // Forgets everything but the frame: the next connection starts afresh.
    void Reset();

    Snapshot Get() const;
    // Waits until the version differs from `seen`, `ms` have passed or
    // Interrupt() was called; returns the state then.
    Snapshot WaitChange(std::uint64_t seen, int ms);
    void Interrupt();

private:
    void Changed();                            // under the lock
    Snapshot WithAge(Snapshot snapshot) const; // under the lock
    bool TakeFrame(const std::uint8_t* payload, std::size_t size);
    bool TakeState(std::string_view json, bool retained);
    bool TakeControl(std::string_view json);
    bool TakeNotice(std::string_view json);

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    Snapshot now_;
    std::uint64_t interrupts_ = 0;
    State beforeDown_ = State::Unknown;
    std::chrono::steady_clock::time_point downSince_;
    std::int64_t heardAtMs_ = 0; // the last beat, or the connection coming up
    std::int64_t beatAtMs_ = 0;  // the last beat
    int periodMs_ = 0;
};

} // namespace share
