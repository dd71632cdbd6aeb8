#include "MappedFile.h"

#include "support/ReadFile.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <mutex>
#include <utility>

namespace bw {

// One registered mapping. The signal handler reads these slots without locks, so every field is
// atomic and a slot is published (begin set last) only once it is complete.
struct MappedFile::Guard {
    std::atomic<std::uintptr_t> begin {0};
    std::atomic<std::uintptr_t> end {0};
    std::atomic<bool> damaged {false};
};

namespace {

// Mappings alive at once: one per thread that extracts, plus the odd extra during a move.
constexpr std::size_t kGuardSlots = 64;
std::array<MappedFile::Guard, kGuardSlots>* guardSlots()
{
    static std::array<MappedFile::Guard, kGuardSlots> table;
    return &table;
}
std::atomic<bool> slotUsed[kGuardSlots];
struct sigaction previousBusAction {};

void busHandler(int signal, siginfo_t* info, void* context)
{
    const auto address = reinterpret_cast<std::uintptr_t>(info->si_addr);
    for (MappedFile::Guard& g : *guardSlots()) {
        const std::uintptr_t begin = g.begin.load(std::memory_order_acquire);
        if (begin == 0 || address < begin || address >= g.end.load(std::memory_order_acquire))
            continue;
        // Replace the page that has no data with zeros; the faulting read is then repeated and
        // succeeds. mmap is a plain system call on Linux and safe here.
        const auto pageSize = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
        void* page = reinterpret_cast<void*>(address & ~(pageSize - 1));
        const int savedErrno = errno;
        const void* zero = ::mmap(page, pageSize, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0);
        errno = savedErrno;
        if (zero == MAP_FAILED)
            break;
        g.damaged.store(true, std::memory_order_release);
        return;
    }
    // Not one of ours: whatever handled SIGBUS before, or the default (end the program).
    if (previousBusAction.sa_flags & SA_SIGINFO) {
        if (previousBusAction.sa_sigaction) {
            previousBusAction.sa_sigaction(signal, info, context);
            return;
        }
    } else if (previousBusAction.sa_handler != SIG_DFL && previousBusAction.sa_handler != SIG_IGN) {
        previousBusAction.sa_handler(signal);
        return;
    }
    ::signal(SIGBUS, SIG_DFL); // the faulting read runs again and ends the process as before
}

void installBusHandler()
{
    static std::once_flag once;
    std::call_once(once, [] {
        struct sigaction action {};
        action.sa_sigaction = busHandler;
        action.sa_flags = SA_SIGINFO | SA_NODEFER;
        sigemptyset(&action.sa_mask);
        ::sigaction(SIGBUS, &action, &previousBusAction);
    });
}

MappedFile::Guard* registerMapping(const void* data, std::uint64_t size)
{
    installBusHandler();
    for (std::size_t i = 0; i < kGuardSlots; ++i) {
        bool expected = false;
        if (!slotUsed[i].compare_exchange_strong(expected, true))
            continue;
        MappedFile::Guard& g = (*guardSlots())[i];
        const auto begin = reinterpret_cast<std::uintptr_t>(data);
        g.damaged.store(false);
        g.end.store(begin + size, std::memory_order_release);
        g.begin.store(begin, std::memory_order_release);
        return &g;
    }
    return nullptr; // no slot: the caller reads the file instead of mapping it
}

void unregisterMapping(MappedFile::Guard* g)
{
    g->begin.store(0, std::memory_order_release);
    g->end.store(0, std::memory_order_release);
    slotUsed[g - guardSlots()->data()].store(false);
}

// Reads the whole file; false on a read error or when the file changed size meanwhile.
bool readAll(int fd, std::vector<std::uint8_t>& bytes)
{
    std::uint64_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::pread(fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<std::uint64_t>(n);
    }
    return true;
}

} // namespace

MappedFile::MappedFile(const std::filesystem::path& path)
{
    struct stat st {};
    const int fd = openRegularFile(path.c_str(), st);
    if (fd < 0)
        return;
    *this = MappedFile(fd, static_cast<std::uint64_t>(st.st_size));
    ::close(fd);
}

MappedFile::MappedFile(int fd, std::uint64_t size)
{
    if (size > kReadLimit) {
        void* p = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
        if (p != MAP_FAILED) {
            m_guard = registerMapping(p, size);
            if (m_guard) {
                m_data = static_cast<const std::uint8_t*>(p);
                m_size = size;
            } else {
                ::munmap(p, size);
            }
        }
    }
    if (!m_guard && size > 0) {
        // A small file, or a large one that could not be mapped and guarded.
        try {
            m_bytes.resize(size);
        } catch (const std::bad_alloc&) {
            return;
        }
        if (!readAll(fd, m_bytes)) {
            m_bytes = {};
            return;
        }
        m_data = m_bytes.data();
        m_size = size;
    }
    m_open = true;
}

MappedFile::~MappedFile() { release(); }

MappedFile::MappedFile(MappedFile&& other) noexcept
    : m_data(std::exchange(other.m_data, nullptr))
    , m_size(std::exchange(other.m_size, 0))
    , m_bytes(std::move(other.m_bytes))
    , m_guard(std::exchange(other.m_guard, nullptr))
    , m_open(std::exchange(other.m_open, false))
{
    other.m_bytes.clear();
}

MappedFile& MappedFile::operator=(MappedFile&& other) noexcept
{
    if (this != &other) {
        release();
        m_data = std::exchange(other.m_data, nullptr);
        m_size = std::exchange(other.m_size, 0);
        m_bytes = std::move(other.m_bytes);
        other.m_bytes.clear();
        m_guard = std::exchange(other.m_guard, nullptr);
        m_open = std::exchange(other.m_open, false);
    }
    return *this;
}

bool MappedFile::damaged() const { return m_guard && m_guard->damaged.load(std::memory_order_acquire); }

void MappedFile::release()
{
    if (m_guard) {
        unregisterMapping(m_guard);
        ::munmap(const_cast<std::uint8_t*>(m_data), m_size);
    }
    m_guard = nullptr;
    m_bytes = {};
    m_data = nullptr;
    m_size = 0;
    m_open = false;
}

} // namespace bw
