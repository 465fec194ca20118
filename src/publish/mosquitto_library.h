#pragma once

#include <QtCore/QString>

#include <mosquitto.h>

// The functions of libmosquitto that the session uses. The library is loaded the first time a broker is
// named, so that a program that publishes nowhere does not load it and the OpenSSL libraries behind it.
#define VANTRO_MOSQUITTO_FUNCTIONS(X)                                                                        \
    X(mosquitto_lib_init)                                                                                    \
    X(mosquitto_new)                                                                                         \
    X(mosquitto_destroy)                                                                                     \
    X(mosquitto_connect_callback_set)                                                                        \
    X(mosquitto_disconnect_callback_set)                                                                     \
    X(mosquitto_publish_v5_callback_set)                                                                     \
    X(mosquitto_subscribe_callback_set)                                                                      \
    X(mosquitto_message_callback_set)                                                                        \
    X(mosquitto_max_inflight_messages_set)                                                                   \
    X(mosquitto_will_set)                                                                                    \
    X(mosquitto_username_pw_set)                                                                             \
    X(mosquitto_int_option)                                                                                  \
    X(mosquitto_void_option)                                                                                 \
    X(mosquitto_connect_async)                                                                               \
    X(mosquitto_disconnect)                                                                                  \
    X(mosquitto_publish)                                                                                     \
    X(mosquitto_subscribe)                                                                                   \
    X(mosquitto_socket)                                                                                      \
    X(mosquitto_want_write)                                                                                  \
    X(mosquitto_loop_read)                                                                                   \
    X(mosquitto_loop_write)                                                                                  \
    X(mosquitto_loop_misc)                                                                                   \
    X(mosquitto_strerror)                                                                                    \
    X(mosquitto_reason_string)

struct MosquittoLibrary
{
#define VANTRO_MOSQUITTO_POINTER(name) decltype(&::name) name = nullptr;
    VANTRO_MOSQUITTO_FUNCTIONS(VANTRO_MOSQUITTO_POINTER)
#undef VANTRO_MOSQUITTO_POINTER
    // A function of the OpenSSL the library was built with; null where it has none (a build without TLS).
    QFunctionPointer tlsFunction(const char *name) const;

    // The library, loaded once; null and the reason in `error` when it cannot be.
    static const MosquittoLibrary *load(QString &error);
};
