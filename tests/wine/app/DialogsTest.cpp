// Both forms of the program's dialogs in this process (which carries the product's manifest, so
// the common controls 6 and their task dialog are there): caption, text, icon, buttons, the
// default button, and the answer for each way of dismissing them.

#include "app/core/CleaningRun.h"
#include "app/win32/Dialogs.h"
#include "platform/win32/Win32Handles.h"
#include "tests/wine/app/WindowProbe.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>

namespace hf {
namespace {

using namespace std::chrono_literals;

enum class Answer { ClickYes, ClickNo, PressEnter, PressEscape, CloseBox };

const char* Name(Answer answer) {
    switch (answer) {
        case Answer::ClickYes:
            return "click Yes";
        case Answer::ClickNo:
            return "click No";
        case Answer::PressEnter:
            return "Enter";
        case Answer::PressEscape:
            return "Escape";
        case Answer::CloseBox:
            return "close box";
    }
    return "?";
}

// Runs on a second thread while the dialog's modal loop runs on the first.
struct Driver {
    Driver(std::wstring dialogCaption, Answer how)
        : caption(std::move(dialogCaption)), answer(how) {}

    std::wstring caption;
    Answer answer;
    HWND dialog = nullptr;
    std::vector<probe::ChildInfo> children;
    HWND focus = nullptr;
    bool escapeDismissed = false;

    static bool WaitUntilGone(HWND window) {
        for (int i = 0; i < 40 && ::IsWindow(window); ++i) {
            ::Sleep(50);
        }
        return !::IsWindow(window);
    }

    static DWORD WINAPI Run(void* self) {
        static_cast<Driver*>(self)->Drive();
        return 0;
    }
    void Drive() {
        dialog = probe::WaitForWindow(
            [this] {
                return probe::FindTopLevel(::GetCurrentProcessId(), L"#32770", caption.c_str());
            },
            10s);
        if (dialog == nullptr) {
            return;
        }
        ::Sleep(200);
        children = probe::Children(dialog);
        focus = probe::FocusOfThreadOf(dialog);
        switch (answer) {
            case Answer::ClickYes:
                ::PostMessageW(::FindWindowExW(dialog, nullptr, L"Button", L"&Yes"), BM_CLICK, 0,
                               0);
                break;
            case Answer::ClickNo:
                ::PostMessageW(::FindWindowExW(dialog, nullptr, L"Button", L"&No"), BM_CLICK, 0, 0);
                break;
            case Answer::PressEnter:
                ::PostMessageW(focus != nullptr ? focus : dialog, WM_KEYDOWN, VK_RETURN, 0);
                break;
            case Answer::PressEscape:
                ::PostMessageW(focus != nullptr ? focus : dialog, WM_KEYDOWN, VK_ESCAPE, 0);
                escapeDismissed = WaitUntilGone(dialog);
                if (!escapeDismissed) {
                    ::PostMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
                }
                break;
            case Answer::CloseBox:
                ::PostMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
                break;
        }
    }
};

enum class Form { Task, Own };

int Show(Form form, const DialogRequest& request) {
    if (form == Form::Own) {
        return ShowOwnDialog(request);
    }
    const std::optional<int> result = ShowTaskDialog(request);
    return result ? *result : -1000;
}

// Shows `request` in `form`, answers it from a second thread, returns the result.
int ShowAndAnswer(Form form, const DialogRequest& request, Driver& driver) {
    DWORD threadId = 0;
    UniqueKernelHandle thread(KernelHandleTraits{},
                              ::CreateThread(nullptr, 0, &Driver::Run, &driver, 0, &threadId));
    const int result = Show(form, request);
    ::WaitForSingleObject(thread.get(), 15000);
    return result;
}

DialogRequest Question() {
    DialogRequest request;
    request.caption = L"Information";
    request.text = kRestartQuestion;
    request.informationIcon = true;
    request.buttons = {{kIdYes, L"&Yes"}, {kIdNo, L"&No"}};
    request.defaultButton = kIdYes;
    return request;
}

TEST(Dialogs, QuestionInBothFormsAnswersSixOnlyForYes) {
    struct Case {
        Answer answer;
        int expected;
    };
    const Case cases[] = {
        {Answer::ClickYes, kIdYes},      {Answer::ClickNo, kIdNo},
        {Answer::PressEnter, kIdYes},  // Yes is the default button
        {Answer::PressEscape, IDCANCEL}, {Answer::CloseBox, IDCANCEL},
    };
    for (Form form : {Form::Task, Form::Own}) {
        for (const Case& c : cases) {
            const std::string label =
                std::string(form == Form::Task ? "task dialog, " : "own dialog, ") + Name(c.answer);
            SCOPED_TRACE(label);
            const DialogRequest request = Question();
            Driver driver(request.caption, c.answer);
            const int result = ShowAndAnswer(form, request, driver);
            EXPECT_EQ(result, c.expected) << "expected " << c.expected << ", got " << result;
            // Wine 8's task dialog ignores Escape unless it has a Cancel button (its close box
            // works); the answer is still not Yes. Our own dialog must close on Escape.
            if (c.answer == Answer::PressEscape && form == Form::Own) {
                EXPECT_TRUE(driver.escapeDismissed) << "Escape closes the dialog";
            }
            if (driver.dialog == nullptr) {
                ADD_FAILURE() << "the dialog did not appear";
                continue;
            }

            EXPECT_NE(probe::FindChild(driver.children, L"Static", kRestartQuestion), nullptr);
            const probe::ChildInfo* yes = probe::FindChild(driver.children, L"Button", L"&Yes");
            const probe::ChildInfo* no = probe::FindChild(driver.children, L"Button", L"&No");
            if (yes == nullptr || no == nullptr) {
                ADD_FAILURE() << "no &Yes or &No button";
                continue;
            }
            EXPECT_LT(yes->bounds.left, no->bounds.left) << "Yes, then No";
            EXPECT_EQ(driver.focus, yes->handle) << "Yes has the focus";
            EXPECT_TRUE(probe::HasVisibleIcon(driver.children)) << "the information icon";
        }
    }
}

TEST(Dialogs, MessageBoxInBothFormsHasOneOkAndNoIcon) {
    for (Form form : {Form::Task, Form::Own}) {
        SCOPED_TRACE(form == Form::Task ? "task dialog" : "own dialog");
        DialogRequest request;
        request.caption = L"hfremove";
        request.text = std::wstring(kErrorPrefix) + L"System Error.  Code: 5.\r\nAccess is denied";
        request.buttons = {{IDOK, L"OK"}};
        request.defaultButton = IDOK;
        Driver driver(request.caption, Answer::PressEnter);
        EXPECT_EQ(ShowAndAnswer(form, request, driver), IDOK);
        ASSERT_NE(driver.dialog, nullptr);
        const probe::ChildInfo* ok = probe::FindChild(driver.children, L"Button", L"OK");
        ASSERT_NE(ok, nullptr);
        EXPECT_EQ(driver.focus, ok->handle);
        EXPECT_FALSE(probe::HasVisibleIcon(driver.children));
        // The text keeps its line break: the code on the first line, the system's text below.
        EXPECT_NE(probe::FindChild(driver.children, L"Static", request.text), nullptr);
        EXPECT_EQ(probe::VisibleButtons(driver.children), 1);
    }
}

}  // namespace
}  // namespace hf
