// Inside the regular-expression engine: the lazy DFA's part of a workspace.
// Its searches are the engine's interface (RegexFind*, RegexLastEnd* in
// engine/regex/Regex.h).
#pragma once
#include "engine/regex/Workspace.h"

// Sets up the DFA part of a fresh workspace.
void DfaBegin(RegexWorkspace* workspace);
