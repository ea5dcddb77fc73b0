/* greeter: an example general plugin in plain C, on plugin.h alone.
 *
 *   - greets every user who logs in, with a private note from "server";
 *   - answers the server command "stats" (a client types /cmd stats [ROOM]) with the number of
 *     room messages seen since the server started, per room;
 *   - refuses guests whose nickname starts with a reserved word (admin, root, server, sysop,
 *     operator), while accounts of such names still log in with their password;
 *   - counts the messages per room without changing them: it never answers "NewMessage", so
 *     every message passes on as it was.
 *
 * Build (from the top of the source tree) and install into a program directory:
 *   gcc -std=c99 -Wall -Wextra -pedantic -O2 -shared -fPIC -I include \
 *       -o greeter.so examples/plugins/greeter.c
 *
 * Everything a client sends is hostile: nicknames and room names are compared as byte strings
 * with their lengths, and the room table has a fixed size.
 */

#include <ctype.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <velmorin/plugin.h>

#define GREETER_IDENT "example.greeter"
#define MAX_ROOMS 32
#define MAX_ROOM_NAME 40 /* the server cuts room names to 40 characters */

struct room_count {
  char name[MAX_ROOM_NAME + 1];
  size_t length;
  unsigned long messages;
};

struct vm_plugin {
  const vm_host* host; /* from initialise until Terminate; NULL in between */
  struct room_count rooms[MAX_ROOMS];
  size_t room_count;
  unsigned long other_rooms; /* messages of rooms beyond the table */
};

/* ---- Small helpers ---------------------------------------------------------------------------- */

static int same_letters(vm_bytes a, vm_bytes b) {
  size_t i;
  if (a.length != b.length) return 0;
  for (i = 0; i < a.length; ++i) {
    if (tolower((unsigned char)a.data[i]) != tolower((unsigned char)b.data[i])) return 0;
  }
  return 1;
}

/* Sends one user a note from "server". */
static void tell(vm_plugin* self, vm_bytes nickname, const char* text) {
  vm_call(self->host, GREETER_IDENT, "SendMessage", nickname, vm_text(text), NULL);
}

/* ---- Counting messages per room --------------------------------------------------------------- */

static void count_message(vm_plugin* self, vm_bytes room) {
  size_t i;
  struct room_count* slot;
  if (room.length == 0 || room.length > MAX_ROOM_NAME) return;
  for (i = 0; i < self->room_count; ++i) {
    if (same_letters(vm_bytes_of(self->rooms[i].name, self->rooms[i].length), room)) {
      ++self->rooms[i].messages;
      return;
    }
  }
  if (self->room_count == MAX_ROOMS) {
    ++self->other_rooms;
    return;
  }
  slot = &self->rooms[self->room_count++];
  memcpy(slot->name, room.data, room.length);
  slot->name[room.length] = '\0';
  slot->length = room.length;
  slot->messages = 1;
}

/* "NewMessage": first is nickname NUL room, second is kind NUL recipients NUL text. */
static void on_new_message(vm_plugin* self, vm_bytes first, vm_bytes second) {
  vm_bytes kind = vm_field(second, '\0', 0);
  if (vm_is(kind, "normal") || vm_is(kind, "me") || vm_is(kind, "shout")) {
    count_message(self, vm_field(first, '\0', 1));
  }
}

/* "stats [ROOM]": one line for the room asked for, or for every room. */
static void report_stats(vm_plugin* self, vm_bytes nickname, vm_bytes wanted) {
  char storage[1024];
  char number[32];
  vm_buffer line;
  size_t i;
  int listed = 0;
  vm_buffer_init(&line, storage, sizeof storage);
  vm_buffer_append_text(&line, "Messages per room:");
  for (i = 0; i < self->room_count; ++i) {
    const struct room_count* room = &self->rooms[i];
    if (wanted.length > 0 && !same_letters(vm_bytes_of(room->name, room->length), wanted)) continue;
    snprintf(number, sizeof number, " %lu", room->messages);
    vm_buffer_append_text(&line, listed++ ? ", " : " ");
    vm_buffer_append(&line, vm_bytes_of(room->name, room->length));
    vm_buffer_append_text(&line, number);
  }
  if (wanted.length == 0 && self->other_rooms > 0) {
    snprintf(number, sizeof number, " %lu", self->other_rooms);
    vm_buffer_append_text(&line, listed++ ? ", other rooms" : " other rooms");
    vm_buffer_append_text(&line, number);
  }
  if (!listed) vm_buffer_append_text(&line, " none yet");
  tell(self, nickname, line.data);
}

/* ---- Greeting and reserved nicknames ---------------------------------------------------------- */

/* "UserStatus": first is the status word; for "userloggedin" second is nickname NUL colour. */
static void on_user_status(vm_plugin* self, vm_bytes word, vm_bytes data) {
  if (vm_is(word, "userloggedin")) {
    tell(self, vm_field(data, '\0', 0), "Welcome! Type /cmd stats to see how busy the rooms are.");
  }
}

static const char* const reserved[] = {"admin", "root", "server", "sysop", "operator"};

/* Whether the nickname as the client asked for it starts with a reserved word. What comes
 * before its first letter or digit is skipped, so "@Admin" and "_root" count as well. */
static int is_reserved(vm_bytes nickname) {
  size_t start = 0;
  size_t i;
  while (start < nickname.length && !isalnum((unsigned char)nickname.data[start])) ++start;
  for (i = 0; i < sizeof reserved / sizeof reserved[0]; ++i) {
    vm_bytes word = vm_text(reserved[i]);
    if (nickname.length - start >= word.length &&
        same_letters(vm_bytes_of(nickname.data + start, word.length), word)) {
      return 1;
    }
  }
  return 0;
}

/* "QueryChatname" runs before the server checks accounts and passwords: a name that is an
 * account passes on unchanged (its password is checked next); a reserved guest name is refused
 * with the empty answer. Every other name gets no answer and passes on unchanged. */
static void on_query_chatname(vm_plugin* self, vm_bytes nickname, vm_sink sink, void* sink_context) {
  char storage[8];
  vm_buffer account;
  if (!is_reserved(nickname)) return;
  vm_buffer_init(&account, storage, sizeof storage);
  /* "active" is "1" or "0" for an account, "" when there is none. */
  if (vm_call(self->host, GREETER_IDENT, "GetUserAccountInfo", nickname, vm_text("active"), &account) == VM_OK &&
      account.length > 0) {
    return;
  }
  vm_write(sink, sink_context, "");
}

/* ---- The plugin's members --------------------------------------------------------------------- */

static vm_plugin* create(void) { return calloc(1, sizeof(vm_plugin)); }
static void destroy(vm_plugin* self) { free(self); }

static vm_status author(vm_plugin* self, vm_sink sink, void* context) {
  (void)self;
  vm_write(sink, context, "Velmorin examples");
  return VM_OK;
}
static vm_status ident(vm_plugin* self, vm_sink sink, void* context) {
  (void)self;
  vm_write(sink, context, GREETER_IDENT);
  return VM_OK;
}
static vm_status internal_version(vm_plugin* self, vm_sink sink, void* context) {
  (void)self;
  vm_write(sink, context, "1.0");
  return VM_OK;
}
static vm_status name(vm_plugin* self, vm_sink sink, void* context) {
  (void)self;
  vm_write(sink, context, "Greeter (C example)");
  return VM_OK;
}
static vm_status type(vm_plugin* self, vm_sink sink, void* context) {
  (void)self;
  vm_write(sink, context, "general");
  return VM_OK;
}
static vm_status version(vm_plugin* self, vm_sink sink, void* context) {
  (void)self;
  vm_write(sink, context, "1.0.0");
  return VM_OK;
}

static vm_status initialise(vm_plugin* self, const vm_host* host, int32_t locale_id, vm_bytes program_directory,
                            vm_bytes host_word, int always_on_top) {
  static const char* const events[] = {"UserStatus", "ServerCommand", "QueryChatname", "NewMessage"};
  size_t i;
  (void)locale_id, (void)program_directory, (void)always_on_top;
  self->host = host;
  /* The instance made for an administrator's request ("settingsserver") stays quiet. */
  if (!vm_is(host_word, "server")) return VM_OK;
  for (i = 0; i < sizeof events / sizeof events[0]; ++i) {
    vm_call(host, GREETER_IDENT, "AddEventHandler", vm_text(events[i]), vm_text(""), NULL);
  }
  /* 32768 is 0x008000, green. */
  vm_call(host, GREETER_IDENT, "AddLogLine", vm_text("32768"), vm_text("Greeter ready"), NULL);
  return VM_OK;
}

static vm_status command(vm_plugin* self, vm_bytes word, const vm_param* first, const vm_param* second,
                         vm_sink sink, void* sink_context) {
  if (vm_is(word, "NewMessage")) {
    on_new_message(self, first->value, second->value);
  } else if (vm_is(word, "UserStatus")) {
    on_user_status(self, first->value, second->value);
  } else if (vm_is(word, "QueryChatname")) {
    on_query_chatname(self, first->value, sink, sink_context);
  } else if (vm_is(word, "ServerCommand")) {
    /* first: command word NUL nickname; second: the argument. "done" tells the server that
     * the command was handled; another plugin may handle other words. */
    if (vm_is(vm_field(first->value, '\0', 0), "stats")) {
      report_stats(self, vm_field(first->value, '\0', 1), second->value);
      vm_write(sink, sink_context, "done");
    }
  }
  /* Everything else goes unanswered: a chained event's text passes on unchanged. */
  return VM_OK;
}

static vm_status terminate(vm_plugin* self, const vm_host* host, vm_bytes host_word) {
  (void)host, (void)host_word;
  self->host = NULL;
  return VM_OK;
}

static const vm_plugin_api table = {
    .abi_version = VM_PLUGIN_ABI_VERSION,
    .size = sizeof(vm_plugin_api),
    .create = create,
    .destroy = destroy,
    .PluginAuthor = author,
    .PluginIdent = ident,
    .PluginInternalVersion = internal_version,
    .PluginName = name,
    .PluginType = type,
    .pluginversion = version,
    .initialise = initialise,
    .command = command,
    .Terminate = terminate,
};

const vm_plugin_api* velmorin_plugin_entry(void) { return &table; }
vm_status DllRegisterServer(void) { return VM_OK; }
vm_status DllUnregisterServer(void) { return VM_OK; }
