// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/pulse_client.h"

#include <pthread.h>
#include <sched.h>

namespace pulse {

pa_threaded_mainloop* start_loop(const char* name)
{
    pa_threaded_mainloop* loop = pa_threaded_mainloop_new();
    if (!loop)
        return nullptr;
    pa_threaded_mainloop_set_name(loop, name);
    if (pa_threaded_mainloop_start(loop) < 0) {
        pa_threaded_mainloop_free(loop);
        return nullptr;
    }
    return loop;
}

void stop_loop(pa_threaded_mainloop* loop)
{
    pa_threaded_mainloop_stop(loop);
    pa_threaded_mainloop_free(loop);
}

bool connect_context(pa_threaded_mainloop* loop, pa_context*& context, const std::string& server,
                     pa_context_notify_cb_t onState, void* self)
{
    context = pa_context_new(pa_threaded_mainloop_get_api(loop), "Kelvo station");
    if (!context)
        return false;
    pa_context_set_state_callback(context, onState, self);
    // Never start a server of our own: no server means no sound device.
    return pa_context_connect(context, server.empty() ? nullptr : server.c_str(), PA_CONTEXT_NOAUTOSPAWN, nullptr)
           >= 0;
}

void raise_thread_priority()
{
    sched_param param{};
    param.sched_priority = 5;
    pthread_setschedparam(pthread_self(), SCHED_FIFO, &param);
}

void drop_stream(pa_stream*& stream)
{
    if (!stream)
        return;
    pa_stream_set_state_callback(stream, nullptr, nullptr);
    pa_stream_set_write_callback(stream, nullptr, nullptr);
    pa_stream_set_read_callback(stream, nullptr, nullptr);
    pa_stream_set_underflow_callback(stream, nullptr, nullptr);
    pa_stream_set_moved_callback(stream, nullptr, nullptr);
    pa_stream_disconnect(stream);
    pa_stream_unref(stream);
    stream = nullptr;
}

void drop_context(pa_context*& context)
{
    if (!context)
        return;
    pa_context_set_state_callback(context, nullptr, nullptr);
    pa_context_disconnect(context);
    pa_context_unref(context);
    context = nullptr;
}

} // namespace pulse
