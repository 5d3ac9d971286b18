// velora-test-peer: a liblinphone core in a process of its own, the SIP peer of the tests where
// sipp cannot see what matters (DTMF, SRTP, the sound itself). The SIP stack keeps parser and
// address caches shared by every core in a process without a lock, so a test process never holds
// a core beside the engine's; this one is driven over its standard input and output instead.
//
// Options:  --sound PLAYBACK CAPTURE   use these sound devices (default: files, no sound card)
// Commands, one a line on stdin, each answered "ok <word>" once done:
//   srtp 0|1         offer SRTP; 1 refuses calls in the clear
//   dial URI         call URI
//   terminate        end every call
//   quit             stop the core and exit
// Events, one a line on stdout: "ready PORT", "incoming N" (calls received so far),
// "dtmf D", "calls N" (calls alive), "encrypted 0|1" (the current call's media).
#include <linphone/core.h>

#include <cstdio>
#include <cstdlib> // mkdtemp
#include <cstring>
#include <filesystem>
#include <poll.h>
#include <string>
#include <unistd.h>

namespace {

int calls_received = 0;
FILE* events = nullptr; // the test reads these; the library's own output goes to stderr

void say(const std::string& line)
{
    std::fputs((line + "\n").c_str(), events);
    std::fflush(events);
}

void on_call_state(LinphoneCore*, LinphoneCall* call, LinphoneCallState state, const char*)
{
    if (state != LinphoneCallStateIncomingReceived)
        return;
    say("incoming " + std::to_string(++calls_received));
    linphone_call_accept(call);
}

void on_dtmf(LinphoneCore*, LinphoneCall*, int dtmf)
{
    say(std::string("dtmf ") + char(dtmf));
}

bool media_encrypted(LinphoneCore* core)
{
    LinphoneCall* call = linphone_core_get_current_call(core);
    const LinphoneCallParams* params = call ? linphone_call_get_current_params(call) : nullptr;
    return params && linphone_call_params_get_media_encryption(params) == LinphoneMediaEncryptionSRTP;
}

// Runs one command line; false for quit.
bool serve(LinphoneCore* core, const std::string& line)
{
    const std::string word = line.substr(0, line.find(' '));
    const std::string rest = line.size() > word.size() ? line.substr(word.size() + 1) : std::string();
    if (word == "quit")
        return false;
    if (word == "srtp") {
        linphone_core_set_media_encryption(core, LinphoneMediaEncryptionSRTP);
        linphone_core_set_media_encryption_mandatory(core, rest == "1");
    } else if (word == "dial") {
        linphone_core_invite(core, rest.c_str());
    } else if (word == "terminate") {
        linphone_core_terminate_all_calls(core);
    } else {
        say("unknown " + word);
        return true;
    }
    say("ok " + word);
    return true;
}

LinphoneCore* create_core(const char* dir, const char* playback, const char* capture)
{
    LinphoneFactory* factory = linphone_factory_get();
    linphone_factory_set_data_dir(factory, dir);
    linphone_factory_set_config_dir(factory, dir);
    LinphoneCoreCbs* callbacks = linphone_factory_create_core_cbs(factory);
    linphone_core_cbs_set_call_state_changed(callbacks, on_call_state);
    linphone_core_cbs_set_dtmf_received(callbacks, on_dtmf);
    LinphoneCore* core = linphone_factory_create_core_3(factory, nullptr, nullptr, nullptr);
    linphone_core_add_callbacks(core, callbacks);
    linphone_core_cbs_unref(callbacks);

    LinphoneTransports* transports = linphone_factory_create_transports(factory);
    linphone_transports_set_udp_port(transports, LC_SIP_TRANSPORT_RANDOM);
    linphone_transports_set_tcp_port(transports, LC_SIP_TRANSPORT_DISABLED);
    linphone_transports_set_tls_port(transports, LC_SIP_TRANSPORT_DISABLED);
    linphone_core_set_transports(core, transports);
    linphone_transports_unref(transports);
    linphone_core_set_audio_port(core, -1);
    linphone_core_set_video_port(core, -1);
    linphone_core_enable_video_capture(core, FALSE);
    linphone_core_enable_video_display(core, FALSE);
    if (playback && capture) {
        linphone_core_set_playback_device(core, playback);
        linphone_core_set_ringer_device(core, playback);
        linphone_core_set_capture_device(core, capture);
        // What the peer hears is what the other side sent: nothing of it is cancelled here.
        linphone_core_enable_echo_cancellation(core, FALSE);
    } else {
        // No sound card needed: the peer plays silence and records nothing.
        linphone_core_set_use_files(core, TRUE);
    }
    linphone_core_start(core);
    return core;
}

} // namespace

int main(int argc, char** argv)
{
    const char* playback = nullptr;
    const char* capture = nullptr;
    if (argc == 4 && std::strcmp(argv[1], "--sound") == 0) {
        playback = argv[2];
        capture = argv[3];
    } else if (argc != 1) {
        std::fputs("usage: velora-test-peer [--sound PLAYBACK CAPTURE]\n", stderr);
        return 2;
    }
    events = fdopen(dup(STDOUT_FILENO), "w");
    dup2(STDERR_FILENO, STDOUT_FILENO);
    // The peer keeps its own library database, apart from the engine's.
    char dir[] = "/tmp/velora-test-peer.XXXXXX";
    if (!mkdtemp(dir))
        return 1;
    const std::string path = std::string(dir) + "/";
    LinphoneCore* core = create_core(path.c_str(), playback, capture);

    LinphoneTransports* used = linphone_core_get_transports_used(core);
    say("ready " + std::to_string(linphone_transports_get_udp_port(used)));
    linphone_transports_unref(used);

    std::string input;
    int calls = 0;
    bool encrypted = false;
    bool running = true;
    while (running) {
        linphone_core_iterate(core);
        const int now_calls = linphone_core_get_calls_nb(core);
        if (now_calls != calls)
            say("calls " + std::to_string(calls = now_calls));
        if (media_encrypted(core) != encrypted)
            say(std::string("encrypted ") + ((encrypted = !encrypted) ? "1" : "0"));

        pollfd in{STDIN_FILENO, POLLIN, 0};
        if (::poll(&in, 1, 20) <= 0)
            continue;
        char buffer[4096];
        const ssize_t got = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (got <= 0)
            break; // the test is gone
        input.append(buffer, size_t(got));
        for (size_t end; running && (end = input.find('\n')) != std::string::npos;) {
            running = serve(core, input.substr(0, end));
            input.erase(0, end + 1);
        }
    }
    linphone_core_stop(core);
    linphone_core_unref(core);
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
    return 0;
}
