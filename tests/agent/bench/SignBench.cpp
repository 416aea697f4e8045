// Log-in and sign jobs in process with the real GTK windows against the stub
// relay: from LinuxQuillet_StartProcess to the selection window mapped, and
// from Return in its password entry to the setResult answered by the stub;
// beside the bare cost in the same run (OpenSSL opening the key, PBES2
// SEED-CBC with 2048 iterations; CMS_sign of the data; RSA-SHA1 over the
// nonce; one libcurl POST). Medians of the given rounds. Run by hand
// (Release build, under xvfb-run):
//   xvfb-run -a agent_sign_bench [rounds]
#include <curl/curl.h>
#include <gtk/gtk.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "BenchRelay.h"
#include "BenchSupport.h"
#include "RelayStub.h"
#include "TestSupport.h"
#include "common/DMLinuxUtil.h"
#include "job/Job.h"
#include "job/ParsingFunc.h"

struct evp_pkey_st;
void opensslLoadProviders();
evp_pkey_st* opensslOpenKey(const std::string& keyFile, const std::string& password);
void opensslFreeKey(evp_pkey_st* key);
size_t opensslCmsSign(const std::string& certFile, evp_pkey_st* key, const std::string& data);
size_t opensslRsaSha1(evp_pkey_st* key, const std::string& data);

namespace {

using bench::Clock;
using bench::median;
using bench::ms;

const char kPassword[] = "fixture-pw";
Clock::time_point g_posted;
int writeLine(const char*, const char* text) {
    if (std::string(text).find("send_ResultByFunc() end.") != std::string::npos) g_posted = Clock::now();
    return 1;
}
int writeInt(const char*, int) { return 1; }

// One round: the window's title, then the moments it was mapped and Return
// went to its entry.
struct Round {
    std::string title;
    Clock::time_point mapped, returned;
    bool done = false;
};

gboolean actAsUser(gpointer data) {
    auto* r = static_cast<Round*>(data);
    GList* all = gtk_window_list_toplevels();
    GtkWidget* window = nullptr;
    for (GList* l = all; l; l = l->next) {
        GtkWidget* w = GTK_WIDGET(l->data);
        const char* t = gtk_window_get_title(GTK_WINDOW(w));
        if (gtk_widget_get_mapped(w) && t && r->title == t) window = w;
    }
    g_list_free(all);
    if (!window) return G_SOURCE_CONTINUE;
    r->mapped = Clock::now();
    GtkWidget* entry = gtk_window_get_focus(GTK_WINDOW(window));
    if (!entry || !GTK_IS_ENTRY(entry)) {
        std::fprintf(stderr, "the password entry has no focus\n");
        return G_SOURCE_REMOVE;
    }
    gtk_entry_set_text(GTK_ENTRY(entry), kPassword);
    GdkEvent* ev = gdk_event_new(GDK_KEY_PRESS);
    ev->key.window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(entry)));
    ev->key.send_event = TRUE;
    ev->key.keyval = GDK_KEY_Return;
    gdk_event_set_device(ev, gdk_seat_get_keyboard(gdk_display_get_default_seat(gdk_display_get_default())));
    r->returned = Clock::now();
    r->done = true;
    gtk_widget_event(entry, ev);
    gdk_event_free(ev);
    return G_SOURCE_REMOVE;
}

bool curlPost(const std::string& url, const std::string& form) {
    size_t got = 0;
    return bench::relayPost(url, form, got) == CURLE_OK;
}

std::string b64(const std::string& bytes) { return zqtest::run({"base64", "-w0"}, bytes).output; }

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
    setenv("QUILLETEX_INSTALL_DIR", ZQ_UI_STAGE, 1);
    setenv("ZQ_SOURCE_DIR", ZQ_SOURCE_DIR, 0);  // the relay stub's scripts
    zqtest::TempDir home("signbench");
    if (zqtest::run({"sh", ZQ_SOURCE_DIR "/tests/fixtures/make_npki_home.sh", home.path(), "1"}).status != 0) return 1;
    setenv("QUILLETEX_HOME", home.path().c_str(), 1);
    DMLinuxUtil_SetUserHOMEDir(home.path().c_str());
    std::string certFile, keyFile;
    for (const auto& e : std::filesystem::recursive_directory_iterator(home / "NPKI"))
        if (e.path().filename() == "signPri.key") {
            keyFile = e.path();
            certFile = e.path().parent_path() / "signCert.der";
        }
    if (!gtk_init_check(&argc, &argv)) {
        std::fprintf(stderr, "no display: run under xvfb-run\n");
        return 1;
    }
    curl_global_init(CURL_GLOBAL_ALL);
    opensslLoadProviders();
    LinuxQuillet_InitWriteLog(0, writeLine, writeInt);
    agenttest::TrustRelayCa trust;
    agenttest::RelayStub stub;
    stub.answer("setResult", 200, "");
    const std::string nonce(32, 'n'), data = "benchmark data 1,000 KRW";
    const std::string list =
        "SignatureAlertTitle=t&Nonce=" + URLEncodeText(b64(nonce)) + "&ServerTime=" + URLEncodeText(b64("1700000000"));

    for (const std::string func : {"login", "sign"}) {
        const bool sign = func == "sign";
        std::string answer = "funcName=" + func + "&PolicyList=" + URLEncodeText(list);
        answer += sign ? "&paramCount=2&param1=" + URLEncodeText("S" + data) + "&param2=St" : "&paramCount=0";
        stub.answer("getFunc", 200, answer);
        std::vector<double> toWindow, toPosted, bare;
        for (int i = 0; i <= rounds; ++i) {
            Round r;
            r.title = sign ? "t" : "인증서 선택";
            const guint source = g_timeout_add(1, actAsUser, &r);
            std::string param = "SESSION=JSESSIONID%3Dabc&reqID=1&policyName=" + func + "&url=" + stub.url() +
                                "&wv=1&macVersion=1&linuxVersion=1.2.8";
            char name[] = "ZEPHALTQuilletEX";
            QuilletJobArgs args{name, param.data()};
            g_posted = {};
            const auto t0 = Clock::now();
            LinuxQuillet_StartProcess(&args);
            if (!r.done) {
                g_source_remove(source);
                std::fprintf(stderr, "%s: the window did not show\n", func.c_str());
                return 1;
            }
            if (g_posted < r.returned || LinuxQuillet_GetResult() != 1) {
                std::fprintf(stderr, "%s: nothing posted\n", func.c_str());
                return 1;
            }
            // The bare cost of the same work.
            const auto b0 = Clock::now();
            evp_pkey_st* key = opensslOpenKey(keyFile, kPassword);
            if (!key || (sign && opensslCmsSign(certFile, key, data) == 0) || opensslRsaSha1(key, nonce) == 0 ||
                !curlPost(stub.url(), "Action=setResult&reqID=1&returnValue=ret%3d1"))
                return 1;
            opensslFreeKey(key);
            const auto b1 = Clock::now();
            if (i == 0) continue;  // warm-up
            toWindow.push_back(ms(r.mapped - t0));
            toPosted.push_back(ms(g_posted - r.returned));
            bare.push_back(ms(b1 - b0));
        }
        const double w = median(toWindow), p = median(toPosted), b = median(bare);
        std::printf("%-5s command to window mapped  %8.2f ms   ratio %.2f\n", func.c_str(), w, w / b);
        std::printf("%-5s Return to posted          %8.2f ms   ratio %.2f\n", func.c_str(), p, p / b);
        std::printf("%-5s bare (OpenSSL + one POST) %8.2f ms\n", func.c_str(), b);
    }
    curl_global_cleanup();
    return 0;
}
