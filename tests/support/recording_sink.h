#pragma once
// A message sink that records every text and answers questions from a script.

#include <deque>
#include <string>
#include <vector>

#include "core/messages.h"

namespace vistrel::testsupport {

class CRecordingSink : public IMessageSink {
  public:
    void show(const std::string& text) override;
    int ask(const std::string& text, const std::vector<std::string>& choices) override;

    std::vector<std::string> shown;
    std::vector<std::string> asked;
    std::vector<std::vector<std::string>> choicesAsked;
    std::vector<std::string> messages;  // every text, shown or asked, in order
    std::deque<int> answers;            // button index per question; 0 when empty
};

}  // namespace vistrel::testsupport
