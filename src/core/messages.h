#pragma once
// The one way core code talks to a person: a message sink that the shell
// backs with message boxes, the command-line tool with stderr, and the tests
// with a recorder holding scripted answers.

#include <functional>
#include <string>
#include <vector>

namespace vistrel {

class IMessageSink {
public:
    virtual ~IMessageSink() = default;
    // Shows a message that needs only acknowledgement (an OK box).
    virtual void show(const std::string& text) = 0;
    // Asks a question; `choices` are the button texts ("Yes", "No", "OK",
    // "Cancel" ...). Returns the index of the chosen button.
    virtual int ask(const std::string& text, const std::vector<std::string>& choices) = 0;
};

// Prints to stderr and answers every question with its first choice.
class CStderrMessageSink : public IMessageSink {
public:
    void show(const std::string& text) override;
    int ask(const std::string& text, const std::vector<std::string>& choices) override;
};

// The sink in force. Never null: a stderr sink is in place until another is set.
IMessageSink& messages();
// Installs a sink (not owned); null restores the stderr sink. Returns the previous one.
IMessageSink* setMessageSink(IMessageSink* sink);

// Installs a sink for the lifetime of the guard, restoring the previous one afterwards.
class CScopedMessageSink {
public:
    explicit CScopedMessageSink(IMessageSink* sink) : previous_(setMessageSink(sink)) {}
    ~CScopedMessageSink() { setMessageSink(previous_); }
    CScopedMessageSink(const CScopedMessageSink&) = delete;
    CScopedMessageSink& operator=(const CScopedMessageSink&) = delete;

private:
    IMessageSink* previous_;
};

// Progress of long work: fraction done in [0, 1]; returning false asks to cancel.
using ProgressFn = std::function<bool(double)>;

}  // namespace vistrel
