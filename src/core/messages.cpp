#include "core/messages.h"

#include <cstdio>

namespace vistrel {

namespace {
CStderrMessageSink g_stderrSink;
IMessageSink* g_sink = &g_stderrSink;
}  // namespace

void CStderrMessageSink::show(const std::string& text) {
    std::fprintf(stderr, "%s\n", text.c_str());
}

int CStderrMessageSink::ask(const std::string& text, const std::vector<std::string>& choices) {
    std::fprintf(stderr, "%s\n", text.c_str());
    if (!choices.empty()) std::fprintf(stderr, "  -> %s\n", choices.front().c_str());
    return 0;
}

IMessageSink& messages() { return *g_sink; }

IMessageSink* setMessageSink(IMessageSink* sink) {
    IMessageSink* previous = g_sink == &g_stderrSink ? nullptr : g_sink;
    g_sink = sink ? sink : &g_stderrSink;
    return previous;
}

}  // namespace vistrel
