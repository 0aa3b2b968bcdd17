#include "agent/desktop/DesktopLog.h"

Q_LOGGING_CATEGORY(lcAgentDesktop, "kestrava.agent.desktop")
