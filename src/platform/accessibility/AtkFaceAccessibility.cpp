#include "platform/accessibility/AtkFaceAccessibility.h"

#include <atk-bridge.h>
#include <atk/atk.h>
#include <dbus/dbus.h>
#include <sys/stat.h>

#include <cstdlib>
#include <ostream>
#include <string>
#include <utility>

namespace dunvel {

namespace {

// The application whose tree the bridge publishes. ATK asks for it through a hook of its
// AtkUtil class, which is one for the whole process: hence one bridge at a time.
AtkObject* currentRoot = nullptr;

AtkObject* root() {
  return currentRoot;
}

const gchar* toolkitName() {
  return "Dunvel";
}

const gchar* toolkitVersion() {
  return DUNVEL_TOOLKIT_VERSION;
}

void hookUtil() {
  // The class is kept referenced for the life of the process: the bridge asks it until the end.
  static AtkUtilClass* const util = [] {
    auto* klass = static_cast<AtkUtilClass*>(g_type_class_ref(ATK_TYPE_UTIL));
    klass->get_root = root;
    klass->get_toolkit_name = toolkitName;
    klass->get_toolkit_version = toolkitVersion;
    return klass;
  }();
  (void)util;
}

// The session bus's name of the service that starts and tells the accessibility bus.
constexpr const char* kAccessibilityBus = "org.a11y.Bus";

// The log domains of the bridge and of libatspi, which it uses to find the bus.
constexpr const char* kLogDomains[] = {"atk-bridge", "dbind", "Atk"};

bool set(const char* variable) {
  const char* value = std::getenv(variable);
  return value != nullptr && *value != '\0';
}

// Whether an accessibility bus can be reached: it is named in the environment, or the session
// bus (named in the environment or at its usual place) has it or can start it. Without a session
// bus named, libdbus would "autolaunch" one of its own for the question, which a desktop that
// has none does not want. NO_AT_BRIDGE=1 turns the bridge off, as for GTK applications.
bool busReachable() {
  const char* off = std::getenv("NO_AT_BRIDGE");
  if (off != nullptr && std::string(off) == "1") return false;
  if (set("AT_SPI_BUS_ADDRESS")) return true;
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  struct stat socket {};
  const bool usualPlace = runtime != nullptr && *runtime != '\0' &&
                          stat((std::string(runtime) + "/bus").c_str(), &socket) == 0 &&
                          S_ISSOCK(socket.st_mode);
  if (!set("DBUS_SESSION_BUS_ADDRESS") && !usualPlace) return false;
  // The session bus is asked whether it has the accessibility bus or can start it: the bridge
  // would find out too, but its way out when it cannot leaks what it allocated (at-spi2-core
  // 2.46) and says so on standard error.
  DBusError error;
  dbus_error_init(&error);
  DBusConnection* session = dbus_bus_get_private(DBUS_BUS_SESSION, &error);
  if (session == nullptr) {
    dbus_error_free(&error);
    return false;
  }
  bool found = dbus_bus_name_has_owner(session, kAccessibilityBus, &error) == TRUE;
  dbus_error_free(&error);
  if (!found) {
    DBusMessage* ask = dbus_message_new_method_call(DBUS_SERVICE_DBUS, DBUS_PATH_DBUS,
                                                    DBUS_INTERFACE_DBUS, "ListActivatableNames");
    DBusMessage* names = dbus_connection_send_with_reply_and_block(session, ask, 5000, &error);
    dbus_message_unref(ask);
    char** list = nullptr;
    int count = 0;
    if (names != nullptr && dbus_message_get_args(names, &error, DBUS_TYPE_ARRAY, DBUS_TYPE_STRING,
                                                  &list, &count, DBUS_TYPE_INVALID)) {
      for (int i = 0; i < count && !found; ++i) found = std::string(list[i]) == kAccessibilityBus;
      dbus_free_string_array(list);
    }
    if (names != nullptr) dbus_message_unref(names);
    dbus_error_free(&error);
  }
  dbus_connection_close(session);
  dbus_connection_unref(session);
  return found;
}

void quiet(const gchar*, GLogLevelFlags, const gchar*, gpointer) {}

// One line for each report, whatever line breaks it carries.
void report(const gchar*, GLogLevelFlags, const gchar* message, gpointer err) {
  std::string line = message != nullptr ? message : "";
  while (!line.empty() && (line.back() == '\n' || line.back() == ' ')) line.pop_back();
  for (char& c : line) {
    if (c == '\n') c = ' ';
  }
  *static_cast<std::ostream*>(err) << "dunvel-watch: accessibility bus: " << line << std::endl;
}

std::vector<unsigned> handleLogs(GLogFunc handler, gpointer data) {
  std::vector<unsigned> handlers;
  const auto levels =
      static_cast<GLogLevelFlags>(G_LOG_LEVEL_MASK | G_LOG_FLAG_FATAL | G_LOG_FLAG_RECURSION);
  for (const char* domain : kLogDomains) {
    handlers.push_back(g_log_set_handler(domain, levels, handler, data));
  }
  return handlers;
}

void removeLogHandlers(const std::vector<unsigned>& handlers) {
  for (std::size_t i = 0; i < handlers.size(); ++i) {
    g_log_remove_handler(kLogDomains[i], handlers[i]);
  }
}

AtkFaceTree::Options withClick(AtkFaceTree::Options tree, MainQueue& mainQueue,
                               const std::shared_ptr<AtkFaceAccessibility*>& self,
                               void (*tap)(AtkFaceAccessibility&, const std::string&)) {
  // Queued by value, as a pointer's click is an event of its own: the tap runs after the
  // bridge has answered, in the layout current then.
  tree.click = [&mainQueue, weak = std::weak_ptr(self), tap](std::string_view identity) {
    mainQueue.async([weak, tap, identity = std::string(identity)] {
      if (auto alive = weak.lock()) tap(**alive, identity);
    });
  };
  return tree;
}

}  // namespace

AtkFaceAccessibility::AtkFaceAccessibility(MainQueue& mainQueue, Options options, std::ostream& err)
    : tap_(std::move(options.tap)),
      err_(err),
      self_(std::make_shared<AtkFaceAccessibility*>(this)),
      tree_(withClick(std::move(options.tree), mainQueue, self_,
                      [](AtkFaceAccessibility& self, const std::string& identity) {
                        if (self.tap_) self.tap_(identity);
                      })),
      wait_(g_main_context_default()) {}

std::unique_ptr<AtkFaceAccessibility> AtkFaceAccessibility::open(MainQueue& mainQueue,
                                                                 Options options,
                                                                 std::ostream& err) {
  if (currentRoot != nullptr || !busReachable()) return nullptr;
  std::unique_ptr<AtkFaceAccessibility> opened(
      new AtkFaceAccessibility(mainQueue, std::move(options), err));
  // Another thread runs GLib's default loop: the bridge's traffic could not be served here.
  if (!opened->wait_.owned()) return nullptr;
  hookUtil();
  currentRoot = opened->tree_.application();
  // Without a bus the bridge only says so; that is no news to a desktop without one.
  const std::vector<unsigned> quieted = handleLogs(quiet, nullptr);
  const int started = atk_bridge_adaptor_init(nullptr, nullptr);
  removeLogHandlers(quieted);
  if (started != 0) {
    currentRoot = nullptr;
    return nullptr;
  }
  opened->logHandlers_ = handleLogs(report, &opened->err_);
  return opened;
}

AtkFaceAccessibility::~AtkFaceAccessibility() {
  if (currentRoot != tree_.application()) return;
  // The bridge leaves the bus (the registry is told) before the tree goes.
  atk_bridge_adaptor_cleanup();
  removeLogHandlers(logHandlers_);
  currentRoot = nullptr;
}

void AtkFaceAccessibility::show(const std::vector<AccessibilityElement>& elements) {
  tree_.show(elements);
}

std::optional<std::chrono::milliseconds> AtkFaceAccessibility::prepareWait(
    std::vector<pollfd>& fds) {
  return wait_.prepare(fds);
}

void AtkFaceAccessibility::dispatch(std::span<const pollfd> fds) {
  wait_.dispatch(fds);
}

}  // namespace dunvel
