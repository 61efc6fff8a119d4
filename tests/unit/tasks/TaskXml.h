#pragma once
// Builds task definitions shaped the way the Task Scheduler returns them: UTF-16 declaration,
// the task schema as default namespace, two-space indentation and CRLF line ends. Shared by the
// native and the Wine ring.

#include <optional>
#include <string>
#include <vector>

namespace hf::test {

class TaskXml {
  public:
    // A principal given by a user account or by a group.
    TaskXml& UserId(std::wstring sid) {
        principals_.push_back({L"UserId", std::move(sid)});
        return *this;
    }
    TaskXml& GroupId(std::wstring sid) {
        principals_.push_back({L"GroupId", std::move(sid)});
        return *this;
    }
    // An Exec action; without `arguments` the element is left out.
    TaskXml& Exec(std::wstring command, std::optional<std::wstring> arguments = std::nullopt) {
        actions_.push_back({std::move(command), std::move(arguments)});
        return *this;
    }
    TaskXml& Hidden(bool hidden = true) {
        hidden_ = hidden;
        return *this;
    }

    std::wstring Build() const {
        std::wstring x = L"<?xml version=\"1.0\" encoding=\"UTF-16\"?>\r\n";
        x += L"<Task version=\"1.2\" "
             L"xmlns=\"http://schemas.microsoft.com/windows/2004/02/mit/task\">\r\n";
        x += L"  <RegistrationInfo>\r\n    <Author>LAB\\user</Author>\r\n"
             L"    <URI>\\Lab Task</URI>\r\n  </RegistrationInfo>\r\n";
        x += L"  <Triggers>\r\n    <LogonTrigger>\r\n      <Enabled>true</Enabled>\r\n"
             L"    </LogonTrigger>\r\n  </Triggers>\r\n";
        x += L"  <Principals>\r\n";
        int id = 1;
        for (const Principal& principal : principals_) {
            x += L"    <Principal id=\"Author" + std::to_wstring(id++) + L"\">\r\n";
            x += L"      <" + principal.element + L">" + Escape(principal.sid) + L"</" +
                 principal.element + L">\r\n";
            x += L"      <RunLevel>LeastPrivilege</RunLevel>\r\n    </Principal>\r\n";
        }
        x += L"  </Principals>\r\n";
        x +=
            L"  <Settings>\r\n    <MultipleInstancesPolicy>IgnoreNew</MultipleInstancesPolicy>\r\n";
        if (hidden_) {
            x += L"    <Hidden>true</Hidden>\r\n";
        }
        x += L"    <Enabled>true</Enabled>\r\n  </Settings>\r\n";
        x += L"  <Actions Context=\"Author1\">\r\n";
        for (const Action& action : actions_) {
            x += L"    <Exec>\r\n      <Command>" + Escape(action.command) + L"</Command>\r\n";
            if (action.arguments) {
                x += L"      <Arguments>" + Escape(*action.arguments) + L"</Arguments>\r\n";
            }
            x += L"    </Exec>\r\n";
        }
        x += L"  </Actions>\r\n</Task>\r\n";
        return x;
    }

    // Text as XML character data.
    static std::wstring Escape(const std::wstring& text) {
        std::wstring out;
        for (wchar_t c : text) {
            switch (c) {
                case L'&':
                    out += L"&amp;";
                    break;
                case L'<':
                    out += L"&lt;";
                    break;
                case L'>':
                    out += L"&gt;";
                    break;
                case L'"':
                    out += L"&quot;";
                    break;
                default:
                    out += c;
            }
        }
        return out;
    }

  private:
    struct Principal {
        std::wstring element;
        std::wstring sid;
    };
    struct Action {
        std::wstring command;
        std::optional<std::wstring> arguments;
    };
    std::vector<Principal> principals_;
    std::vector<Action> actions_;
    bool hidden_ = false;
};

// A typical user account.
inline constexpr wchar_t kUserSid[] = L"S-1-5-21-3623811015-3361044348-30300820-1013";

}  // namespace hf::test
