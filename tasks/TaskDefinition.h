#pragma once
// Reading a task's definition: its Xml text loaded into a DOM document of its own, and the
// unprefixed path queries the task rules make under the root element. Every failed call raises
// EOleException. A definition that does not parse has no root and selects nothing; a missing
// element reads as empty text.

#include "platform/Com.h"
#include "platform/Platform.h"

#include <cstdint>
#include <memory>
#include <string>

namespace hf {

// IRegisteredTask::Xml.
std::wstring ReadTaskXml(const Platform& platform, RegisteredTask& task);

class TaskDefinition {
  public:
    // Creates a new document and loads `xml` into it; whether it parsed is not consulted.
    // A document class that cannot be created raises with the system's text and the class.
    TaskDefinition(const Platform& platform, const std::wstring& xml);

    // The nodes `query` selects under the root; null when the document has no root.
    std::unique_ptr<XmlNodeList> SelectNodes(const std::wstring& query) const;
    // The first node `query` selects under the root; null when there is none.
    std::unique_ptr<XmlNode> SelectSingleNode(const std::wstring& query) const;

  private:
    const Platform& platform_;
    std::unique_ptr<XmlDocument> document_;
    std::unique_ptr<XmlNode> root_;  // released before the document
};

// The list's length; 0 for a null list.
std::int32_t NodeCount(const Platform& platform, XmlNodeList* nodes);
// item(index), counting from 0.
std::unique_ptr<XmlNode> NodeAt(const Platform& platform, XmlNodeList& nodes, std::int32_t index);
// The text of the first node `query` selects under `node`; empty when there is none.
std::wstring ChildText(const Platform& platform, XmlNode* node, const std::wstring& query);

}  // namespace hf
