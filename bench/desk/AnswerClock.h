#pragma once
// When the station's simulated amplifier last sent an answer, shared between
// the benchmark's processes: one double in a file that every process maps.
// The station writes it, the viewers read it when they paint. The times are
// the steady clock's, which all processes of one computer share.

#include <atomic>
#include <stdexcept>
#include <string>

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

namespace desk {

class AnswerClock {
public:
    explicit AnswerClock(const std::string& path)
    {
        const int fd = ::open(path.c_str(), O_RDWR | O_CREAT, 0600);
        if (fd < 0 || ::ftruncate(fd, sizeof(std::atomic<double>)) != 0)
            throw std::runtime_error("cannot open " + path);
        void* memory = ::mmap(nullptr, sizeof(std::atomic<double>), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
        ::close(fd);
        if (memory == MAP_FAILED)
            throw std::runtime_error("cannot map " + path);
        value_ = static_cast<std::atomic<double>*>(memory);
    }
    ~AnswerClock() { ::munmap(value_, sizeof(std::atomic<double>)); }
    AnswerClock(const AnswerClock&) = delete;
    AnswerClock& operator=(const AnswerClock&) = delete;

    void Set(double ms) { value_->store(ms); }
    double Get() const { return value_->load(); }

private:
    static_assert(std::atomic<double>::is_always_lock_free, "a lock would not be shared between processes");
    std::atomic<double>* value_ = nullptr;
};

} // namespace desk
