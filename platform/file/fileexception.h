#pragma once
// The one exception type for input and output errors inside an open file. The model throws it
// from Load and Save; the automation layer turns it into DISP_E_EXCEPTION with its description.

#include <stdexcept>
#include <string>

class CFileException : public std::runtime_error {
public:
    // path: the file concerned; cause: what went wrong, in a few words ("No space left on device").
    CFileException(std::string path, std::string cause);

    const std::string& Path() const { return m_strPath; }
    const std::string& Cause() const { return m_strCause; }

private:
    std::string m_strPath;
    std::string m_strCause;
};
