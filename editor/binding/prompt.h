#pragma once
// How the binding talks to the user: the editor shows a message box, the command line prints a
// line, tests record what was said.

#include <string>

class IPrompt {
public:
    virtual ~IPrompt() = default;
    // Tells the user something and waits until it was acknowledged (an OK button). text is UTF-8
    // and may hold line breaks.
    virtual void Message(const std::string& text) = 0;
};
