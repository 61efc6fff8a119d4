#include "tests/fakes/FakeXml.h"
#include "tests/unit/tasks/XmlSelectionCases.h"

#include <gtest/gtest.h>

namespace hf {
namespace {

class XmlOnly final : public ComApi {
  public:
    fake::FakeXml xml;
    HResult CoInitialize() override { return kSOk; }
    void CoUninitialize() override {}
    HResult CreateTaskService(std::unique_ptr<TaskService>&) override { return kRegDbEClassNotReg; }
    HResult CreateXmlDocument(std::unique_ptr<XmlDocument>& document) override {
        return xml.Create(document);
    }
};

TEST(FakeXml, BehavesAsTheRealDocumentOnTheSharedCases) {
    for (const test::XmlSelectionCase& c : test::XmlSelectionCases()) {
        XmlOnly com;
        EXPECT_EQ(L"", test::RunXmlSelectionCase(com, c)) << c.name;
        EXPECT_EQ(0, com.xml.LiveObjects()) << c.name;
    }
}

TEST(FakeXml, NodesKeepTheirDocumentAlive) {
    XmlOnly com;
    std::unique_ptr<XmlDocument> document;
    ASSERT_EQ(kSOk, com.CreateXmlDocument(document));
    bool parsed = false;
    document->loadXML(test::TaskXml().Exec(L"a.exe", L"x").Build(), parsed);
    std::unique_ptr<XmlNode> root;
    document->get_documentElement(root);
    document.reset();
    std::unique_ptr<XmlNode> command;
    ASSERT_EQ(kSOk, root->selectSingleNode(L"Actions/Exec/Command", command).hr);
    std::wstring text;
    command->get_text(text);
    EXPECT_EQ(L"a.exe", text);
    EXPECT_EQ(2, com.xml.LiveObjects());
}

TEST(FakeXml, InjectedFailuresHitTheNamedCallOnly) {
    XmlOnly com;
    com.xml.Fail(L"get_text", {kEAccessDenied, L"no text."}, L"Arguments", 1);
    std::unique_ptr<XmlDocument> document;
    com.CreateXmlDocument(document);
    bool parsed = false;
    document->loadXML(test::TaskXml().Exec(L"a.exe", L"1").Exec(L"b.exe", L"2").Build(), parsed);
    std::unique_ptr<XmlNode> root;
    document->get_documentElement(root);
    std::unique_ptr<XmlNodeList> arguments;
    root->selectNodes(L"Actions/Exec/Arguments", arguments);
    std::unique_ptr<XmlNode> first, second;
    arguments->get_item(0, first);
    arguments->get_item(1, second);
    std::wstring text;
    EXPECT_FALSE(first->get_text(text).Failed()) << "the first call is skipped";
    const ComStatus failed = second->get_text(text);
    EXPECT_EQ(kEAccessDenied, failed.hr);
    EXPECT_EQ(L"no text.", failed.description);
    std::unique_ptr<XmlNode> command;
    root->selectSingleNode(L"Actions/Exec/Command", command);
    EXPECT_FALSE(command->get_text(text).Failed()) << "another element's text is not affected";
}

TEST(FakeXml, MissingClassCreatesNothing) {
    XmlOnly com;
    com.xml.createResult = kRegDbEClassNotReg;
    std::unique_ptr<XmlDocument> document;
    EXPECT_EQ(kRegDbEClassNotReg, com.CreateXmlDocument(document));
    EXPECT_EQ(nullptr, document);
}

}  // namespace
}  // namespace hf
