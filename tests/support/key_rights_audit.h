// The rights this program's own code asks for as it opens or creates registry keys, seen
// whether or not the system would refuse them (Wine gives an administrator's token some
// rights whatever a key allows). While an audit lives, the program's import slots of
// RegOpenKeyEx and RegCreateKeyEx lead through it; calls made inside system DLLs are not
// seen.
#pragma once

#include <windows.h>

namespace testsupport {

class KeyRightsAudit {
public:
    KeyRightsAudit();
    ~KeyRightsAudit();
    KeyRightsAudit(const KeyRightsAudit&) = delete;

    REGSAM asked() const;  // every right any call asked for meanwhile
};

}  // namespace testsupport
