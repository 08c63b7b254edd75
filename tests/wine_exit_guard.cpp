// Starts GoogleTest's watcher of the main thread as a cross-built suite begins, and waits
// until that thread runs.
//
// Wine 8 crashes a program that ends while one of its threads is still being set up (the
// thread takes the signal that ends it before it has its own data). GoogleTest on Windows
// starts a thread to watch each thread the first time that thread reports a result, a
// failure or a skip; a suite whose last test skips started it just before it ended, and
// now and then ended with a segmentation fault after every test had passed or skipped.
// Here the watcher is started before the first test, and the suite goes on only once the
// new thread has been set up: the system calls the program's thread callback then.
#include <windows.h>

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

namespace {

// Set once a thread other than the first has been set up.
HANDLE threadSetUp = CreateEventW(nullptr, TRUE, FALSE, nullptr);

void NTAPI onThread(PVOID, DWORD reason, PVOID) {
  if (reason == DLL_THREAD_ATTACH && threadSetUp != nullptr) SetEvent(threadSetUp);
}

class WatcherFromTheStart : public ::testing::Environment {
 public:
  void SetUp() override {
    // Taking the reporting of this thread's results over and back gives the thread its
    // value in GoogleTest's per-thread storage, which starts the watcher.
    ::testing::TestPartResultArray results;
    {
      ::testing::ScopedFakeTestPartResultReporter take(
          ::testing::ScopedFakeTestPartResultReporter::INTERCEPT_ONLY_CURRENT_THREAD, &results);
    }
    if (threadSetUp != nullptr) WaitForSingleObject(threadSetUp, 30000);
  }
};

::testing::Environment* const watcherFromTheStart =
    ::testing::AddGlobalTestEnvironment(new WatcherFromTheStart);

}  // namespace

// The program's thread callbacks, which the loader calls as each thread is set up; the
// reference to the directory that lists them keeps it in the program.
extern "C" {
extern const IMAGE_TLS_DIRECTORY _tls_used;
__attribute__((section(".CRT$XLQ"), used)) const PIMAGE_TLS_CALLBACK qmOnThread = onThread;
__attribute__((used)) const void* const qmThreadCallbacks = &_tls_used;
}
