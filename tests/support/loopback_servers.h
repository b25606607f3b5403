// The servers tests start on 127.0.0.1: a scripted HTTP server for odd
// behaviour, nginx for real HTTP and HTTPS, tinyproxy as a forwarding proxy.
// Each is ready when its constructor returns (ok() tells whether it started)
// and stopped by its process id when it goes out of scope. Start them on a
// thread that lives as long as they do: they are killed when it ends.
#ifndef ZEM_TEST_LOOPBACK_SERVERS_H
#define ZEM_TEST_LOOPBACK_SERVERS_H

#include "nginx_server.h"
#include "scripted_server.h"
#include "tiny_proxy.h"

#endif
