// The TAB/CR byte filter on memory and on files.
#include <bench/byte_filter.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <stdexcept>
#include <unistd.h>
#include <utility>

namespace {

std::runtime_error systemError(const char* what, const std::string& path)
{
    return std::runtime_error(std::string(what) + " " + path + ": " + std::strerror(errno));
}

// Closes a descriptor on every path out of filterFile.
class Descriptor
{
public:
    explicit Descriptor(int fd)
        : m_fd(fd)
    {
    }
    ~Descriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return m_fd; }
    int release() { return std::exchange(m_fd, -1); }

private:
    int m_fd;
};

void writeAll(int fd, const unsigned char* data, std::size_t n, const std::string& path)
{
    while (n > 0) {
        const ssize_t done = ::write(fd, data, n);
        if (done < 0) {
            if (errno == EINTR)
                continue;
            throw systemError("cannot write", path);
        }
        data += done;
        n -= static_cast<std::size_t>(done);
    }
}

} // namespace

std::size_t filterTabsAndCrs(const unsigned char* in, std::size_t n, unsigned char* out)
{
    std::size_t kept = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const unsigned char c = in[i];
        if (c != '\t' && c != '\r')
            out[kept++] = c;
    }
    return kept;
}

std::int64_t filterFile(const std::string& source, const std::string& destination)
{
    Descriptor in(::open(source.c_str(), O_RDONLY | O_CLOEXEC));
    if (in.get() < 0)
        throw systemError("cannot open", source);
    Descriptor out(::open(destination.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    if (out.get() < 0)
        throw systemError("cannot create", destination);
    const std::unique_ptr<unsigned char[]> inBlock(new unsigned char[FilterBlockSize]);
    const std::unique_ptr<unsigned char[]> outBlock(new unsigned char[FilterBlockSize]);
    std::int64_t written = 0;
    for (;;) {
        const ssize_t got = ::read(in.get(), inBlock.get(), FilterBlockSize);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            throw systemError("cannot read", source);
        }
        if (got == 0)
            break;
        const std::size_t kept = filterTabsAndCrs(inBlock.get(), static_cast<std::size_t>(got), outBlock.get());
        writeAll(out.get(), outBlock.get(), kept, destination);
        written += static_cast<std::int64_t>(kept);
    }
    if (::close(out.release()) != 0)
        throw systemError("cannot close", destination);
    return written;
}
