#pragma once

#include "NetLab.h"
#include "NetProbe.h"
#include "platform/EventDispatcher.h"

#include <QCoreApplication>
#include <QTest>

// main() of a network lab test: a probe when asked for one (inside the pc namespace), otherwise the
// process joins the lab's lan namespace while it has a single thread, then runs TestClass(lab).
#define NETLAB_TEST_MAIN(TestClass)                                                                          \
    int main(int argc, char* argv[]) {                                                                       \
        if (const std::optional<int> probed = NetProbe::runFromArguments(argc, argv))                        \
            return *probed;                                                                                  \
        const QString unavailable = NetLab::enterLan();                                                      \
        kestrava::installEventDispatcher();                                                                  \
        QCoreApplication app(argc, argv);                                                                    \
        NetLab lab(unavailable);                                                                             \
        TestClass test(lab);                                                                                 \
        return QTest::qExec(&test, argc, argv);                                                              \
    }
