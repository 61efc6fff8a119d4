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

// A new DOM document for task definitions. A document class that cannot be created raises with
// the system's text and the class.
std::unique_ptr<XmlDocument> CreateTaskDocument(const Platform& platform);

class TaskDefinition {
  public:
    // Loads `xml` into a new document of its own (CreateTaskDocument); whether it parsed is not
    // consulted.
    TaskDefinition(const Platform& platform, const std::wstring& xml);
    // Loads `xml` into `shared`, a document the sweep creates once and every rule loads anew (an
    // MSXML document costs twenty loads to create): what an earlier rule loaded is gone, and a
    // definition that does not parse leaves no root to read.
    TaskDefinition(const Platform& platform, XmlDocument& shared, const std::wstring& xml);

    // The nodes `query` selects under the root; null when the document has no root.
    std::unique_ptr<XmlNodeList> SelectNodes(const std::wstring& query) const;
    // The first node `query` selects under the root; null when there is none.
    std::unique_ptr<XmlNode> SelectSingleNode(const std::wstring& query) const;

  private:
    const Platform& platform_;
    std::unique_ptr<XmlDocument> owned_;
    std::unique_ptr<XmlNode> root_;  // released before the document
};

// The list's length; 0 for a null list.
std::int32_t NodeCount(const Platform& platform, XmlNodeList* nodes);
// item(index), counting from 0.
std::unique_ptr<XmlNode> NodeAt(const Platform& platform, XmlNodeList& nodes, std::int32_t index);
// The text of the first node `query` selects under `node`; empty when there is none.
std::wstring ChildText(const Platform& platform, XmlNode* node, const std::wstring& query);

}  // namespace hf
