#pragma once
// The encryption plugins of one online period: loaded when the server goes online, offered to
// clients by identity, chosen per connection by index, released when the server goes offline.
//
// An entry whose plugin could not be created or initialised keeps its place in the list and
// in the offered list; calls to it fail like every other failing plugin call.

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "plugins/PluginRegistry.hpp"

namespace velmorin {

class EncryptionPlugins {
 public:
  // Rebuilds the list from the Encryption section of the settings file. Without any key there,
  // every installed encryption plugin is loaded and the section is written with all of them
  // enabled; otherwise the keys name the plugins to load, in section order.
  // One note per plugin loaded: started, or why not.
  std::vector<PluginLoadNote> Load(const PluginRegistry& plugins, long localeId, bool alwaysOnTop);
  void Release();

  long count() const { return static_cast<long>(plugins_.size()); }
  // The PluginIdent of every entry in list order, joined by NUL; empty when none is loaded.
  const std::string& OfferedList() const { return offered_; }
  // The last index whose identity member equals the text exactly (letter case included), or -1.
  long Find(const std::string& identity) const;
  // The plugin of an entry; nullptr for an index outside the list or an entry that failed.
  LoadedPlugin* At(long index) const;
  // The PluginIdent an entry offers ("" outside the list): names it in the log.
  std::string Ident(long index) const;
  // The indexes of the entries made from a component (without regard to case).
  std::vector<long> EntriesOf(const std::string& component) const;
  // A reload: each entry of the record's component gets a new object of the record's file, in
  // its place, and offers the record's PluginIdent. The old objects are released. Whether
  // every new object started (one that did not still takes its place, as at Load).
  bool Replace(const PluginRegistry& plugins, long record, long localeId, bool alwaysOnTop);

 private:
  PluginLoadNote Append(const PluginRegistry& plugins, long record, long localeId, bool alwaysOnTop);
  static std::unique_ptr<LoadedPlugin> Start(const PluginRegistry& plugins, long record, long localeId, bool alwaysOnTop,
                                             std::string* whyNot);
  void BuildOffered();

  std::vector<std::unique_ptr<LoadedPlugin>> plugins_;
  std::vector<std::string> components_;  // per entry
  std::vector<std::string> idents_;      // per entry: what it offers
  std::string offered_;
};

// Whether the encryption plugin of that component is used from the next online period on, as
// Load decides it: every one while the Encryption section has no key, else its key ("0" when
// missing).
bool EncryptionPluginEnabled(const std::string& component);

// The settings dialog's choice: the Encryption section replaced by one key per component name,
// "1" used or "0". 0 or the errno of the failed write.
long WriteEncryptionSection(const std::vector<std::pair<std::string, bool>>& enabledByComponent);

}  // namespace velmorin
