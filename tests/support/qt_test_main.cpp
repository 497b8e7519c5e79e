// The main function of the window tests: real widgets on the offscreen platform (set here, since
// gtest_discover_tests runs the binary at build time), ending like the program does.

#include <gtest/gtest.h>

#include <QApplication>

#include "platform/thread_sanitizer.h"

#ifdef GSMMON_THREAD_SANITIZER
// Qt is not built for ThreadSanitizer. Its own threads (the thread pool, the file dialog's
// gatherer) allocate, free and copy memory from inside Qt, where the sanitizer sees those calls
// but none of Qt's synchronisation around them, and would report them as races. So the window's
// tests ignore what library calls made from uninstrumented code touch; every access our code makes
// is still checked, and the locks Qt takes through the C library still count. The print tests
// start programs (a private CUPS scheduler, pdftotext) through QProcess from a process that
// already runs Qt's threads, which the sanitizer refuses unless told (die_after_fork); the child
// only runs the program. TSAN_OPTIONS set for a run add to this.
extern "C" const char* __tsan_default_options() { return "ignore_noninstrumented_modules=1:die_after_fork=0"; }
#endif

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  // The program ends only through its own ways out; a closed window must not end a test's loop.
  QApplication::setQuitOnLastWindowClosed(false);
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
