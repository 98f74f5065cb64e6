/*
 * Qtractor will not start its audio engine without the ALSA sequencer, and a test machine has no
 * /dev/snd. Preloaded, these stand in for every sequencer call Qtractor makes on its handle: a
 * sequencer with no other clients, no ports to connect to and no events ever arriving. The
 * info structures the calls fill in stay libasound's own (their accessors are not replaced).
 */
#include <errno.h>
#include <poll.h>
#include <stddef.h>
#include <string.h>
#include <unistd.h>

typedef struct FakeSequencer {
  int pipe[2];
  int nextPort;
} FakeSequencer;

static FakeSequencer gSequencer = {{-1, -1}, 0};

#define EXPORT __attribute__((visibility("default")))

EXPORT int snd_seq_open(void** handle, const char* name, int streams, int mode) {
  (void)name, (void)streams, (void)mode;
  /* A descriptor that is never readable, for the thread that polls for input. */
  if (gSequencer.pipe[0] < 0 && pipe(gSequencer.pipe) != 0) return -errno;
  *handle = &gSequencer;
  return 0;
}
EXPORT int snd_seq_close(void* seq) { (void)seq; return 0; }
EXPORT int snd_seq_client_id(void* seq) { (void)seq; return 128; }
EXPORT int snd_seq_set_client_name(void* seq, const char* name) { (void)seq, (void)name; return 0; }
EXPORT int snd_seq_alloc_queue(void* seq) { (void)seq; return 0; }
EXPORT int snd_seq_free_queue(void* seq, int q) { (void)seq, (void)q; return 0; }
EXPORT int snd_seq_control_queue(void* seq, int q, int type, int value, void* ev) {
  (void)seq, (void)q, (void)type, (void)value, (void)ev;
  return 0;
}
EXPORT int snd_seq_create_simple_port(void* seq, const char* name, unsigned caps, unsigned type) {
  (void)seq, (void)name, (void)caps, (void)type;
  return gSequencer.nextPort++;
}
EXPORT int snd_seq_delete_simple_port(void* seq, int port) { (void)seq, (void)port; return 0; }
EXPORT int snd_seq_drain_output(void* seq) { (void)seq; return 0; }
EXPORT int snd_seq_drop_input(void* seq) { (void)seq; return 0; }
EXPORT int snd_seq_drop_output(void* seq) { (void)seq; return 0; }
EXPORT int snd_seq_event_input(void* seq, void** ev) {
  (void)seq;
  *ev = NULL;
  return -EAGAIN;
}
EXPORT int snd_seq_event_input_pending(void* seq, int fetch) { (void)seq, (void)fetch; return 0; }
EXPORT int snd_seq_event_output(void* seq, void* ev) { (void)seq, (void)ev; return 0; }
EXPORT int snd_seq_event_output_direct(void* seq, void* ev) { (void)seq, (void)ev; return 0; }
EXPORT int snd_seq_poll_descriptors_count(void* seq, short events) {
  (void)seq, (void)events;
  return 1;
}
EXPORT int snd_seq_poll_descriptors(void* seq, struct pollfd* fds, unsigned space, short events) {
  (void)seq;
  if (space < 1) return 0;
  fds[0].fd = gSequencer.pipe[0];
  fds[0].events = events;
  fds[0].revents = 0;
  return 1;
}
/* No other client and no port: every query ends at once. */
EXPORT int snd_seq_query_next_client(void* seq, void* info) { (void)seq, (void)info; return -ENOENT; }
EXPORT int snd_seq_query_next_port(void* seq, void* info) { (void)seq, (void)info; return -ENOENT; }
EXPORT int snd_seq_query_port_subscribers(void* seq, void* subs) { (void)seq, (void)subs; return -ENOENT; }
EXPORT int snd_seq_get_any_client_info(void* seq, int client, void* info) {
  (void)seq, (void)client, (void)info;
  return -ENOENT;
}
EXPORT int snd_seq_get_any_port_info(void* seq, int client, int port, void* info) {
  (void)seq, (void)client, (void)port, (void)info;
  return -ENOENT;
}
EXPORT int snd_seq_get_port_info(void* seq, int port, void* info) {
  (void)seq, (void)port, (void)info;
  return -ENOENT;
}
EXPORT int snd_seq_set_port_info(void* seq, int port, void* info) {
  (void)seq, (void)port, (void)info;
  return 0;
}
EXPORT int snd_seq_get_queue_status(void* seq, int q, void* status) {
  (void)seq, (void)q, (void)status;
  return 0;
}
EXPORT int snd_seq_get_queue_tempo(void* seq, int q, void* tempo) {
  (void)seq, (void)q, (void)tempo;
  return 0;
}
EXPORT int snd_seq_set_queue_tempo(void* seq, int q, void* tempo) {
  (void)seq, (void)q, (void)tempo;
  return 0;
}
EXPORT int snd_seq_set_queue_timer(void* seq, int q, void* timer) {
  (void)seq, (void)q, (void)timer;
  return 0;
}
EXPORT int snd_seq_remove_events(void* seq, void* rm) { (void)seq, (void)rm; return 0; }
EXPORT int snd_seq_subscribe_port(void* seq, void* sub) { (void)seq, (void)sub; return 0; }
EXPORT int snd_seq_unsubscribe_port(void* seq, void* sub) { (void)seq, (void)sub; return 0; }
