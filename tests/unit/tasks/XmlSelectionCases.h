#pragma once
// Selection cases for the XML document seam, run against the fake (native ring) and against
// the real MSXML (Wine ring), so the fake is held to what the real document does, set up as
// CreateXmlDocument sets it up.

#include "platform/Com.h"
#include "tests/unit/tasks/TaskXml.h"

#include <memory>
#include <string>
#include <vector>

namespace hf::test {

struct XmlSelectionCase {
    const wchar_t* name;
    std::wstring xml;
    std::wstring query;               // relative to the root element
    std::vector<std::wstring> texts;  // the selected nodes' texts, in order
    bool hasRoot = true;              // false: the text does not parse
};

inline std::vector<XmlSelectionCase> XmlSelectionCases() {
    const std::wstring ns = L"xmlns=\"http://schemas.microsoft.com/windows/2004/02/mit/task\"";
    const std::wstring head = L"<?xml version=\"1.0\" encoding=\"UTF-16\"?>\r\n<Task " + ns + L">";
    return {
        {L"Exec commands under the default namespace, in document order",
         TaskXml().Exec(L"a.exe", L"1").Exec(L"b.exe").Exec(L"c.exe", L"3").Build(),
         L"Actions/Exec/Command",
         {L"a.exe", L"b.exe", L"c.exe"}},
        {L"Arguments exist only where written",
         TaskXml().Exec(L"a.exe", L"1").Exec(L"b.exe").Build(),
         L"Actions/Exec/Arguments",
         {L"1"}},
        {L"user principals under the default namespace",
         TaskXml().UserId(L"S-1-5-18").GroupId(L"S-1-5-32-545").UserId(kUserSid).Build(),
         L"Principals/Principal/UserId",
         {L"S-1-5-18", kUserSid}},
        {L"the text of an Exec element is all its text",
         head + L"<Actions><Exec><Command>run.exe</Command><Arguments>x</Arguments></Exec>"
                L"</Actions></Task>",
         L"Actions/Exec",
         {L"run.exex"}},
        {L"leading and trailing white space of a text run is dropped, inner kept",
         head + L"<Actions><Exec><Arguments>  a  b \t</Arguments></Exec></Actions></Task>",
         L"Actions/Exec/Arguments",
         {L"a  b"}},
        {L"line ends inside a text become LF",
         head + L"<Actions><Exec><Arguments>a\r\nb</Arguments></Exec></Actions></Task>",
         L"Actions/Exec/Arguments",
         {L"a\nb"}},
        {L"CDATA is kept as written",
         head +
             L"<Actions><Exec><Arguments><![CDATA[ a,\"b\" ]]></Arguments></Exec></Actions></Task>",
         L"Actions/Exec/Arguments",
         {L" a,\"b\" "}},
        {L"character references and entities are decoded",
         head + L"<Actions><Exec><Arguments>&quot;C:\\a b\\x.dll&quot;,&amp;&#x41;</Arguments>"
                L"</Exec></Actions></Task>",
         L"Actions/Exec/Arguments",
         {L"\"C:\\a b\\x.dll\",&A"}},
        {L"text across child elements is joined",
         head + L"<Actions><Exec><Command>c<b>in</b>d</Command></Exec></Actions></Task>",
         L"Actions/Exec/Command",
         {L"cind"}},
        {L"matches under several parents come in document order",
         head + L"<Actions><Exec><Command>1</Command></Exec><Exec><Command>2</Command></Exec>"
                L"</Actions><Actions><Exec><Command>3</Command></Exec></Actions></Task>",
         L"Actions/Exec/Command",
         {L"1", L"2", L"3"}},
        {L"only direct children match a step",
         head + L"<Actions><Group><Exec><Command>deep</Command></Exec></Group></Actions></Task>",
         L"Actions/Exec",
         {}},
        {L"a prefixed element does not match an unprefixed step",
         head + L"<Actions><p:Exec xmlns:p=\"urn:other\"><Command>p</Command></p:Exec>"
                L"<Exec><Command>plain</Command></Exec></Actions></Task>",
         L"Actions/Exec/Command",
         {L"plain"}},
        {L"names match case-sensitively",
         head + L"<actions><exec><command>x</command></exec></actions></Task>",
         L"Actions/Exec",
         {}},
        {L"the UTF-16 declaration of a task definition is accepted",
         L"<?xml version=\"1.0\" encoding=\"UTF-16\"?>\r\n<Task " + ns +
             L">\r\n  <Actions>\r\n    <Exec>\r\n      <Command>\uD55C.exe</Command>\r\n"
             L"    </Exec>\r\n  </Actions>\r\n</Task>",
         L"Actions/Exec/Command",
         {L"\uD55C.exe"}},
        {L"a text that does not parse has no root", L"<Task><Actions></Task>", L"", {}, false},
        {L"a definition that declares a DTD has no root",
         L"<?xml version=\"1.0\"?>\r\n<!DOCTYPE Task [<!ENTITY x SYSTEM "
         L"\"file:///C:/Windows/win.ini\">]>\r\n<Task " +
             ns + L"><Actions><Exec><Command>&x;</Command></Exec></Actions></Task>",
         L"Actions/Exec/Command",
         {},
         false},
        {L"empty text has no root", L"", L"", {}, false},
    };
}

// Runs one case through the seam; empty when the document behaved as expected, else what
// differed.
inline std::wstring RunXmlSelectionCase(ComApi& com, const XmlSelectionCase& c) {
    std::unique_ptr<XmlDocument> document;
    if (com.CreateXmlDocument(document) < 0 || !document) {
        return L"no document";
    }
    bool parsed = false;
    ComStatus status = document->loadXML(c.xml, parsed);
    if (status.Failed()) {
        return L"loadXML failed";
    }
    if (parsed != c.hasRoot) {
        return L"loadXML reported parsed=" + std::to_wstring(parsed);
    }
    std::unique_ptr<XmlNode> root;
    status = document->get_documentElement(root);
    if (status.Failed()) {
        return L"get_documentElement failed";
    }
    if (!c.hasRoot) {
        return root ? L"expected no root, got one" : L"";
    }
    if (!root) {
        return L"expected a root, got none";
    }
    std::unique_ptr<XmlNodeList> nodes;
    if (root->selectNodes(c.query, nodes).Failed() || !nodes) {
        return L"selectNodes failed";
    }
    std::int32_t length = -1;
    if (nodes->get_length(length).Failed()) {
        return L"get_length failed";
    }
    std::wstring got;
    for (std::int32_t i = 0; i < length; ++i) {
        std::unique_ptr<XmlNode> node;
        if (nodes->get_item(i, node).Failed() || !node) {
            return L"get_item(" + std::to_wstring(i) + L") gave no node";
        }
        std::wstring text;
        if (node->get_text(text).Failed()) {
            return L"get_text failed";
        }
        got += L"[" + text + L"]";
    }
    std::wstring expected;
    for (const std::wstring& text : c.texts) {
        expected += L"[" + text + L"]";
    }
    if (got != expected) {
        return L"expected " + expected + L", got " + got;
    }
    std::unique_ptr<XmlNode> past;
    if (nodes->get_item(length, past).Failed() || past) {
        return L"get_item past the end gave a node or failed";
    }
    std::unique_ptr<XmlNode> first;
    status = root->selectSingleNode(c.query, first);
    if (status.Failed()) {
        return L"selectSingleNode failed";
    }
    if (c.texts.empty()) {
        return first || status.hr != kSFalse ? L"selectSingleNode: expected S_FALSE and no node"
                                             : L"";
    }
    std::wstring text;
    if (!first || first->get_text(text).Failed() || text != c.texts.front()) {
        return L"selectSingleNode: expected [" + c.texts.front() + L"], got [" + text + L"]";
    }
    return L"";
}

}  // namespace hf::test
