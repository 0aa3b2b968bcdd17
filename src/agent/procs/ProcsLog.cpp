#include "agent/procs/ProcsLog.h"

Q_LOGGING_CATEGORY(lcAgentProcs, "kestrava.agent.procs")
