#pragma once

/**
 * A TCP port on 127.0.0.1 that nothing listens on now, for a local server to
 * bind. It is drawn at random from below the kernel's ephemeral range
 * (/proc/sys/net/ipv4/ip_local_port_range), where no outgoing connection takes
 * ports, and checked by binding it. A server can still lose the port to another
 * process before it binds, so its caller retries with a new one on a bind
 * failure. 0 when no port could be found.
 */
int pickLoopbackPort();
