#pragma once

#include <csignal>

#include <sys/resource.h>

// Makes the disk "full" for this process, whoever runs the test: a write
// beyond bytes stops short (EFBIG) instead of raising SIGXFSZ. The limit
// goes with this object, or earlier with lift().
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit limited{};
        m_active = getrlimit(RLIMIT_FSIZE, &m_saved) == 0;
        limited = m_saved;
        limited.rlim_cur = bytes;
        m_active = m_active && setrlimit(RLIMIT_FSIZE, &limited) == 0;
    }
    ~FileSizeLimit() { lift(); }
    FileSizeLimit(const FileSizeLimit &) = delete;
    FileSizeLimit &operator=(const FileSizeLimit &) = delete;

    [[nodiscard]] bool active() const { return m_active; }
    void lift()
    {
        if (m_active)
            setrlimit(RLIMIT_FSIZE, &m_saved);
        m_active = false;
    }

private:
    rlimit m_saved{};
    bool m_active = false;
};
