#include "MappedFile.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <utility>

namespace bw {

MappedFile::MappedFile(const std::filesystem::path& path)
{
    // O_NONBLOCK: opening a FIFO for reading would otherwise wait for a writer forever.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0)
        return;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < 0) {
        ::close(fd);
        return;
    }
    m_size = static_cast<std::uint64_t>(st.st_size);
    if (m_size > 0) {
        void* p = ::mmap(nullptr, m_size, PROT_READ, MAP_PRIVATE, fd, 0);
        if (p == MAP_FAILED) {
            ::close(fd);
            m_size = 0;
            return;
        }
        m_mapping = p;
        m_data = static_cast<const std::uint8_t*>(p);
    }
    ::close(fd);
    m_open = true;
}

MappedFile::~MappedFile() { release(); }

MappedFile::MappedFile(MappedFile&& other) noexcept
    : m_data(std::exchange(other.m_data, nullptr))
    , m_size(std::exchange(other.m_size, 0))
    , m_mapping(std::exchange(other.m_mapping, nullptr))
    , m_open(std::exchange(other.m_open, false))
{
}

MappedFile& MappedFile::operator=(MappedFile&& other) noexcept
{
    if (this != &other) {
        release();
        m_data = std::exchange(other.m_data, nullptr);
        m_size = std::exchange(other.m_size, 0);
        m_mapping = std::exchange(other.m_mapping, nullptr);
        m_open = std::exchange(other.m_open, false);
    }
    return *this;
}

void MappedFile::release()
{
    if (m_mapping)
        ::munmap(m_mapping, m_size);
    m_mapping = nullptr;
    m_data = nullptr;
    m_size = 0;
    m_open = false;
}

} // namespace bw
