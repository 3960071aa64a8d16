#include "platform/file/atomicfile.h"

#include "platform/file/fileexception.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {
constexpr size_t kBufferSize = 1 << 16;

std::string FolderOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}
} // namespace

CAtomicFile::~CAtomicFile() {
    if (m_fd >= 0) {
        ::close(m_fd);
        ::unlink(m_strTemp.c_str());
    }
}

bool CAtomicFile::Open(const std::string& path) {
    if (path.empty() || path.back() == '/') {
        errno = EISDIR;
        return false;
    }
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
        errno = EISDIR;
        return false;
    }
    const std::string folder = FolderOf(path);
    const auto slash = path.find_last_of('/');
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    std::string templ = folder + "/." + name + ".XXXXXX";
    std::vector<char> buf(templ.begin(), templ.end());
    buf.push_back('\0');
    const int fd = ::mkstemp(buf.data());
    if (fd < 0)
        return false;
    m_fd = fd;
    m_strPath = path;
    m_strTemp = buf.data();
    m_buffer.clear();
    m_buffer.reserve(kBufferSize);
    return true;
}

void CAtomicFile::Fail(int err) {
    const std::string cause = std::strerror(err);
    if (m_fd >= 0) {
        ::close(m_fd);
        ::unlink(m_strTemp.c_str());
        m_fd = -1;
    }
    throw CFileException(m_strPath, cause);
}

void CAtomicFile::Flush() {
    const char* p = m_buffer.data();
    size_t left = m_buffer.size();
    while (left > 0) {
        const ssize_t n = ::write(m_fd, p, left);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            Fail(errno);
        }
        p += n;
        left -= static_cast<size_t>(n);
    }
    m_buffer.clear();
}

void CAtomicFile::Write(std::string_view data) {
    if (m_fd < 0)
        throw CFileException(m_strPath, "file is not open");
    if (m_buffer.size() + data.size() > kBufferSize) {
        Flush();
        if (data.size() >= kBufferSize) {
            m_buffer.assign(data);
            Flush();
            return;
        }
    }
    m_buffer.append(data);
}

void CAtomicFile::Commit() {
    if (m_fd < 0)
        throw CFileException(m_strPath, "file is not open");
    Flush();
    struct stat st {};
    mode_t mode = 0666;
    if (::stat(m_strPath.c_str(), &st) == 0) {
        mode = st.st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode &= ~mask;
    }
    if (::fchmod(m_fd, mode) != 0 || ::fsync(m_fd) != 0)
        Fail(errno);
    if (::close(m_fd) != 0) {
        m_fd = -1;
        const int err = errno;
        ::unlink(m_strTemp.c_str());
        throw CFileException(m_strPath, std::strerror(err));
    }
    m_fd = -1;
    if (::rename(m_strTemp.c_str(), m_strPath.c_str()) != 0) {
        const int err = errno;
        ::unlink(m_strTemp.c_str());
        throw CFileException(m_strPath, std::strerror(err));
    }
}

bool ReadWholeFile(const std::string& path, std::string& out) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        ::close(fd);
        errno = EISDIR;
        return false;
    }
    std::string data;
    if (S_ISREG(st.st_mode) && st.st_size > 0)
        data.reserve(static_cast<size_t>(st.st_size));
    char chunk[1 << 16];
    for (;;) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n == 0)
            break;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            const int err = errno;
            ::close(fd);
            throw CFileException(path, std::strerror(err));
        }
        data.append(chunk, static_cast<size_t>(n));
    }
    ::close(fd);
    out.swap(data);
    return true;
}
