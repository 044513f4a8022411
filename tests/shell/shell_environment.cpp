#include "shell_environment.h"

namespace {
const auto* const kShellEnvironment =
    ::testing::AddGlobalTestEnvironment(new vistrel::testing::CShellEnvironment);
}
