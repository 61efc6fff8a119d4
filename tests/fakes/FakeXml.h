#pragma once
// The fake MSXML document over pugixml, behaving as MSXML's default selection does on a task
// definition: an unprefixed path step matches child elements by the name written in the
// document, whatever default namespace is declared (a prefixed element is not matched);
// selections come in document order; a node's text is its text content with each text run's
// leading and trailing white space dropped, CDATA kept as written (preserveWhiteSpace off). A
// text that does not parse, or declares a DTD (the document refuses DTDs, as the real one is set
// up to), gives a document without a root. Every call can be told to fail
// with an HRESULT and an error description, and the fake counts the objects still alive.

#include "platform/Com.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace hf::fake {

class FakeXml {
  public:
    // An injected failure: `call` is the seam method ("loadXML", "get_documentElement",
    // "selectNodes", "selectSingleNode", "get_text", "get_length", "get_item"); `argument`, when
    // not empty, limits it to selections of that query or texts of that element name. The first
    // `skip` matching calls succeed.
    struct Failure {
        std::wstring call;
        std::wstring argument;
        ComStatus status;
        int skip = 0;
    };

    // What CoCreateInstance of the document class returns; negative: the class is missing.
    HResult createResult = kSOk;
    std::vector<Failure> failures;
    void Fail(std::wstring call, ComStatus status, std::wstring argument = {}, int skip = 0) {
        failures.push_back({std::move(call), std::move(argument), std::move(status), skip});
    }

    // CreateXmlDocument.
    HResult Create(std::unique_ptr<XmlDocument>& document);

    // Documents created so far.
    int documentsCreated = 0;
    // Every call, e.g. L"selectNodes(Actions/Exec)", L"get_text(Command)", in order.
    std::vector<std::wstring> calls;
    // Documents, nodes and lists handed out and not yet released.
    int LiveObjects() const { return *live_; }

    // Records the call and returns the injected failure for it, if any (S_OK otherwise).
    ComStatus Enter(const std::wstring& call, const std::wstring& argument);

  private:
    std::shared_ptr<int> live_ = std::make_shared<int>(0);
};

}  // namespace hf::fake
