#include "platform/file/fileexception.h"

#include <utility>

CFileException::CFileException(std::string path, std::string cause)
    : std::runtime_error(path + ": " + cause), m_strPath(std::move(path)),
      m_strCause(std::move(cause)) {}
