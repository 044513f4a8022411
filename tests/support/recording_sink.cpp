#include "support/recording_sink.h"

namespace vistrel::testsupport {

void CRecordingSink::show(const std::string& text) {
    shown.push_back(text);
    messages.push_back(text);
}

int CRecordingSink::ask(const std::string& text, const std::vector<std::string>& choices) {
    asked.push_back(text);
    choicesAsked.push_back(choices);
    messages.push_back(text);
    if (answers.empty()) return 0;
    const int answer = answers.front();
    answers.pop_front();
    return answer;
}

}  // namespace vistrel::testsupport
