// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the loudspeaker and the microphone do alike as PulseAudio clients: a main loop on a
// thread of its own, a context that never starts a server, and taking a stream or context down
// with its callbacks cleared first (a callback must not reach an owner that is going away).
#include <pulse/context.h>
#include <pulse/stream.h>
#include <pulse/thread-mainloop.h>

#include <string>

namespace pulse {

// A started main loop whose thread is called `name`; null when none could be started.
pa_threaded_mainloop* start_loop(const char* name);
// Stops and frees `loop`; the caller must not hold its lock.
void stop_loop(pa_threaded_mainloop* loop);

// Makes `context` and starts connecting it to `server` (empty: the user's default), its state
// reported to `onState`; false when that failed at once. Under the loop's lock.
bool connect_context(pa_threaded_mainloop* loop, pa_context*& context, const std::string& server,
                     pa_context_notify_cb_t onState, void* self);

// For a thread that feeds a sound stream and must keep it fed on a busy machine: real-time
// scheduling at a low priority where the system grants it (as sound servers have); an ordinary
// thread where it does not.
void raise_thread_priority();

// Under the loop's lock; each leaves its argument null.
void drop_stream(pa_stream*& stream);
void drop_context(pa_context*& context);

} // namespace pulse
