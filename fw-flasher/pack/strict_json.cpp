#include "pack/strict_json.h"

#include <set>
#include <string>
#include <vector>

namespace fw {
namespace {

// Where the parser is: one entry for each object or list it is inside.
class KeyTracker {
 public:
  bool operator()(int, Json::parse_event_t event, Json& parsed) {
    using Event = Json::parse_event_t;
    switch (event) {
      case Event::object_start:
      case Event::array_start:
        scopes_.push_back(Scope{event == Event::array_start, PathOfNextValue(), {}, {}, 0});
        break;
      case Event::object_end:
      case Event::array_end:
        scopes_.pop_back();
        ValueDone();
        break;
      case Event::key:
        Key(parsed.get<std::string>());
        break;
      case Event::value:
        ValueDone();
        break;
    }
    return true;
  }

 private:
  struct Scope {
    bool list = false;
    std::string path;
    std::set<std::string> keys;
    std::string key;        // in an object, the key of the value being read
    std::size_t index = 0;  // in a list, the index of the value being read
  };

  static std::string Join(const std::string& path, const std::string& key) {
    return path.empty() ? key : path + "." + key;
  }

  std::string PathOfNextValue() const {
    if (scopes_.empty()) return {};
    const Scope& outer = scopes_.back();
    if (outer.list) return outer.path + "[" + std::to_string(outer.index) + "]";
    return Join(outer.path, outer.key);
  }

  void Key(const std::string& key) {
    Scope& object = scopes_.back();
    if (!object.keys.insert(key).second)
      throw FieldError(Join(object.path, key), "given twice in the same object");
    object.key = key;
  }

  void ValueDone() {
    if (!scopes_.empty() && scopes_.back().list) ++scopes_.back().index;
  }

  std::vector<Scope> scopes_;
};

}  // namespace

Json ParseJsonWithUniqueKeys(std::istream& in) {
  KeyTracker tracker;
  return Json::parse(in, [&tracker](int depth, Json::parse_event_t event, Json& parsed) {
    return tracker(depth, event, parsed);
  });
}

}  // namespace fw
