#include "tests/fakes/FakeXml.h"

#include "platform/Text.h"
#include "tests/fakes/LiveCount.h"

#include <pugixml.hpp>

#include <string_view>

namespace hf::fake {

namespace {

using Tree = std::shared_ptr<pugi::xml_document>;

bool IsXmlSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

void AppendText(pugi::xml_node node, std::string& out) {
    for (pugi::xml_node child : node.children()) {
        switch (child.type()) {
            case pugi::node_pcdata: {
                std::string_view run = child.value();
                while (!run.empty() && IsXmlSpace(run.front())) {
                    run.remove_prefix(1);
                }
                while (!run.empty() && IsXmlSpace(run.back())) {
                    run.remove_suffix(1);
                }
                out += run;
                break;
            }
            case pugi::node_cdata:
                out += child.value();
                break;
            case pugi::node_element:
                AppendText(child, out);
                break;
            default:
                break;
        }
    }
}

// Evaluates an unprefixed relative path ("Actions/Exec") from `context`; false when the query
// is not such a path.
bool Select(pugi::xml_node context, const std::wstring& query, std::vector<pugi::xml_node>& out) {
    std::vector<pugi::xml_node> current{context};
    const std::string path = Utf16ToUtf8(query);
    std::size_t start = 0;
    while (true) {
        const std::size_t slash = path.find('/', start);
        const std::string step =
            path.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
        if (step.empty() || step.find_first_of("[]@*()=|: ") != std::string::npos) {
            return false;
        }
        std::vector<pugi::xml_node> next;
        for (pugi::xml_node node : current) {
            for (pugi::xml_node child : node.children()) {
                if (child.type() == pugi::node_element && step == child.name()) {
                    next.push_back(child);
                }
            }
        }
        current = std::move(next);
        if (slash == std::string::npos) {
            break;
        }
        start = slash + 1;
    }
    out = std::move(current);
    return true;
}

ComStatus BadQuery(const std::wstring& query) {
    return {kEFail, L"The fake supports unprefixed child paths only: " + query};
}

class Node final : public XmlNode {
  public:
    Node(FakeXml& owner, std::shared_ptr<int> live, Tree tree, pugi::xml_node node)
        : owner_(owner),
          token_(live),
          live_(std::move(live)),
          tree_(std::move(tree)),
          node_(node) {}

    ComStatus selectNodes(const std::wstring& query, std::unique_ptr<XmlNodeList>& nodes) override;
    ComStatus selectSingleNode(const std::wstring& query, std::unique_ptr<XmlNode>& node) override;

    ComStatus get_text(std::wstring& text) override {
        text.clear();
        ComStatus status = owner_.Enter(L"get_text", Utf8ToUtf16(node_.name()));
        if (status.Failed()) {
            return status;
        }
        std::string out;
        AppendText(node_, out);
        text = Utf8ToUtf16(out);
        status.hr = text.empty() ? kSFalse : kSOk;
        return status;
    }

  private:
    FakeXml& owner_;
    LiveToken token_;
    std::shared_ptr<int> live_;
    Tree tree_;  // the document lives as long as any of its nodes
    pugi::xml_node node_;
};

class NodeList final : public XmlNodeList {
  public:
    NodeList(FakeXml& owner, std::shared_ptr<int> live, Tree tree, std::wstring query,
             std::vector<pugi::xml_node> nodes)
        : owner_(owner),
          token_(live),
          live_(std::move(live)),
          tree_(std::move(tree)),
          query_(std::move(query)),
          nodes_(std::move(nodes)) {}

    ComStatus get_length(std::int32_t& length) override {
        length = 0;
        ComStatus status = owner_.Enter(L"get_length", query_);
        if (!status.Failed()) {
            length = static_cast<std::int32_t>(nodes_.size());
        }
        return status;
    }

    ComStatus get_item(std::int32_t index, std::unique_ptr<XmlNode>& node) override {
        node.reset();
        ComStatus status = owner_.Enter(L"get_item", query_);
        if (status.Failed()) {
            return status;
        }
        if (index < 0 || static_cast<std::size_t>(index) >= nodes_.size()) {
            status.hr = kSFalse;
            return status;
        }
        node =
            std::make_unique<Node>(owner_, live_, tree_, nodes_[static_cast<std::size_t>(index)]);
        return status;
    }

  private:
    FakeXml& owner_;
    LiveToken token_;
    std::shared_ptr<int> live_;
    Tree tree_;
    std::wstring query_;
    std::vector<pugi::xml_node> nodes_;
};

ComStatus Node::selectNodes(const std::wstring& query, std::unique_ptr<XmlNodeList>& nodes) {
    nodes.reset();
    ComStatus status = owner_.Enter(L"selectNodes", query);
    if (status.Failed()) {
        return status;
    }
    std::vector<pugi::xml_node> found;
    if (!Select(node_, query, found)) {
        return BadQuery(query);
    }
    nodes = std::make_unique<NodeList>(owner_, live_, tree_, query, std::move(found));
    return status;
}

ComStatus Node::selectSingleNode(const std::wstring& query, std::unique_ptr<XmlNode>& node) {
    node.reset();
    ComStatus status = owner_.Enter(L"selectSingleNode", query);
    if (status.Failed()) {
        return status;
    }
    std::vector<pugi::xml_node> found;
    if (!Select(node_, query, found)) {
        return BadQuery(query);
    }
    if (found.empty()) {
        status.hr = kSFalse;
        return status;
    }
    node = std::make_unique<Node>(owner_, live_, tree_, found.front());
    return status;
}

class Document final : public XmlDocument {
  public:
    Document(FakeXml& owner, std::shared_ptr<int> live)
        : owner_(owner),
          token_(live),
          live_(std::move(live)),
          tree_(std::make_shared<pugi::xml_document>()) {}

    ComStatus loadXML(const std::wstring& xml, bool& parsed) override {
        parsed = false;
        ComStatus status = owner_.Enter(L"loadXML", {});
        if (status.Failed()) {
            return status;
        }
        // A fresh tree: nodes handed out from an earlier load keep theirs.
        tree_ = std::make_shared<pugi::xml_document>();
        const std::string text = Utf16ToUtf8(xml);
        // The text is already decoded, whatever its declaration says, as with a BSTR.
        const pugi::xml_parse_result result =
            tree_->load_buffer(text.data(), text.size(), pugi::parse_default | pugi::parse_doctype,
                               pugi::encoding_utf8);
        parsed = result && !tree_->find_child([](pugi::xml_node node) {
            return node.type() == pugi::node_doctype;
        });
        if (!parsed) {
            tree_->reset();
            status.hr = kSFalse;
        }
        return status;
    }

    ComStatus get_documentElement(std::unique_ptr<XmlNode>& root) override {
        root.reset();
        ComStatus status = owner_.Enter(L"get_documentElement", {});
        if (status.Failed()) {
            return status;
        }
        pugi::xml_node element = tree_->document_element();
        if (!element) {
            status.hr = kSFalse;
            return status;
        }
        root = std::make_unique<Node>(owner_, live_, tree_, element);
        return status;
    }

  private:
    FakeXml& owner_;
    LiveToken token_;
    std::shared_ptr<int> live_;
    Tree tree_;
};

}  // namespace

HResult FakeXml::Create(std::unique_ptr<XmlDocument>& document) {
    document.reset();
    calls.push_back(L"CreateXmlDocument");
    if (createResult < 0) {
        return createResult;
    }
    ++documentsCreated;
    document = std::make_unique<Document>(*this, live_);
    return createResult;
}

ComStatus FakeXml::Enter(const std::wstring& call, const std::wstring& argument) {
    calls.push_back(argument.empty() ? call : call + L"(" + argument + L")");
    for (Failure& failure : failures) {
        if (failure.call == call && (failure.argument.empty() || failure.argument == argument)) {
            if (failure.skip > 0) {
                --failure.skip;
                continue;
            }
            return failure.status;
        }
    }
    return {};
}

}  // namespace hf::fake
