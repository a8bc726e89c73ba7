// Test seam: the test program defines pthread_create itself, forwarding to
// the real one. It can make thread creation fail, and it counts the threads
// still running so a test can wait until every background query has ended.
#pragma once

namespace orvauth_test {

// Every pthread_create fails with rc until set back to 0.
void FailThreadCreation(int rc);

// Waits until every thread started through pthread_create has returned from
// its start routine; false if that takes longer than about 10 seconds.
bool WaitForThreadsToEnd();

}  // namespace orvauth_test
