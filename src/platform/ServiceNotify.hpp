#pragma once
// Tells the service manager what the server is doing, through the datagram socket it names in
// NOTIFY_SOCKET: a file system path, or "@name" for a name in the abstract namespace. Each call
// sends one datagram of "KEY=value" lines. Without the variable every call does nothing, so the
// server behaves the same with and without a service manager.
//
//   NotifyServiceManager("READY=1")   0; or the errno of a name that cannot be used or a send
//                                     that failed (callers go on: the server runs regardless)
//   NotifyReloading()                 "RELOADING=1" with the monotonic clock's microseconds,
//                                     which the service manager needs to accept the reload;
//                                     "READY=1" follows once the reload is done

#include <string_view>

namespace velmorin {

int NotifyServiceManager(std::string_view state);
int NotifyReloading();

}  // namespace velmorin
