#include "tasks/TaskDefinition.h"

namespace hf {

std::wstring ReadTaskXml(const Platform& platform, RegisteredTask& task) {
    std::wstring xml;
    OleCheck(platform.System(), task.get_Xml(xml));
    return xml;
}

std::unique_ptr<XmlDocument> CreateTaskDocument(const Platform& platform) {
    std::unique_ptr<XmlDocument> document;
    const HResult created = platform.Com().CreateXmlDocument(document);
    if (created < 0 || !document) {
        // The class in the description, after the system's text: the message ends in the
        // class id, so nothing of it is trimmed.
        const HResult hr = created < 0 ? created : kEFail;
        OleCheck(platform.System(),
                 {hr, SystemErrorText(platform.System(), static_cast<std::uint32_t>(hr)) +
                          L", ClassID: " + kDomDocumentClassId});
    }
    return document;
}

TaskDefinition::TaskDefinition(const Platform& platform, const std::wstring& xml)
    : platform_(platform), owned_(CreateTaskDocument(platform)) {
    bool parsed = false;  // not consulted: a definition that does not parse simply has no root
    OleCheck(platform.System(), owned_->loadXML(xml, parsed));
    OleCheck(platform.System(), owned_->get_documentElement(root_));
}

TaskDefinition::TaskDefinition(const Platform& platform, XmlDocument& shared,
                               const std::wstring& xml)
    : platform_(platform) {
    bool parsed = false;
    OleCheck(platform.System(), shared.loadXML(xml, parsed));
    if (parsed) {
        OleCheck(platform.System(), shared.get_documentElement(root_));
    }
}

std::unique_ptr<XmlNodeList> TaskDefinition::SelectNodes(const std::wstring& query) const {
    std::unique_ptr<XmlNodeList> nodes;
    if (root_) {
        OleCheck(platform_.System(), root_->selectNodes(query, nodes));
    }
    return nodes;
}

std::unique_ptr<XmlNode> TaskDefinition::SelectSingleNode(const std::wstring& query) const {
    std::unique_ptr<XmlNode> node;
    if (root_) {
        OleCheck(platform_.System(), root_->selectSingleNode(query, node));
    }
    return node;
}

std::int32_t NodeCount(const Platform& platform, XmlNodeList* nodes) {
    std::int32_t length = 0;
    if (nodes != nullptr) {
        OleCheck(platform.System(), nodes->get_length(length));
    }
    return length;
}

std::unique_ptr<XmlNode> NodeAt(const Platform& platform, XmlNodeList& nodes, std::int32_t index) {
    std::unique_ptr<XmlNode> node;
    OleCheck(platform.System(), nodes.get_item(index, node));
    return node;
}

std::wstring ChildText(const Platform& platform, XmlNode* node, const std::wstring& query) {
    std::wstring text;
    if (node == nullptr) {
        return text;
    }
    std::unique_ptr<XmlNode> child;
    OleCheck(platform.System(), node->selectSingleNode(query, child));
    if (child) {
        OleCheck(platform.System(), child->get_text(text));
    }
    return text;
}

}  // namespace hf
