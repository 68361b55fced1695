#include "platform/update/feed_parse.h"

#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xpath.h>

#include <climits>
#include <memory>

#include "platform/update/web_address.h"

namespace moonwisp::update {
namespace {

struct ParseState {
  xmlParserCtxtPtr context = nullptr;
  bool sawDoctype = false;
};

// A feed has no use for a document type declaration; stopping at its start
// means no entity is ever declared, expanded or fetched.
void refuseDoctype(void* user, const xmlChar*, const xmlChar*, const xmlChar*) {
  auto* context = static_cast<xmlParserCtxtPtr>(user);
  static_cast<ParseState*>(context->_private)->sawDoctype = true;
  xmlStopParser(context);
}

// libxml2 reports errors through a global handler unless told otherwise.
void ignoreError(void*, xmlErrorPtr) {}

std::optional<std::string> attribute(xmlNodePtr node, const char* name) {
  // Only the attribute's own text nodes are read: an entity reference left in
  // a recovered document is never looked up.
  for (xmlAttrPtr attr = node->properties; attr; attr = attr->next) {
    if (attr->ns != nullptr || xmlStrcmp(attr->name, BAD_CAST name) != 0) continue;
    std::string value;
    for (xmlNodePtr child = attr->children; child; child = child->next) {
      if (child->type == XML_TEXT_NODE && child->content) value += reinterpret_cast<const char*>(child->content);
    }
    return value;
  }
  return std::nullopt;
}

std::optional<std::string> webAddressAttribute(xmlNodePtr node, const char* name) {
  auto value = attribute(node, name);
  if (value && !isWebAddress(*value)) value.reset();
  return value;
}

}  // namespace

FeedParseResult parseFeed(const std::string& body, bool recover) {
  FeedParseResult result;
  if (body.size() > static_cast<size_t>(INT_MAX)) return result;

  std::unique_ptr<xmlParserCtxt, decltype(&xmlFreeParserCtxt)> context(xmlNewParserCtxt(), xmlFreeParserCtxt);
  if (!context) return result;
  ParseState state;
  state.context = context.get();
  context->_private = &state;
  context->sax->internalSubset = refuseDoctype;
  context->sax->serror = ignoreError;

  // No XML_PARSE_NOENT, DTDLOAD, DTDATTR, DTDVALID or XINCLUDE: nothing is
  // substituted or loaded; NONET forbids the network to the parser altogether.
  int options = XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING | XML_PARSE_NOCDATA;
  if (recover) options |= XML_PARSE_RECOVER;
  std::unique_ptr<xmlDoc, decltype(&xmlFreeDoc)> doc(
      xmlCtxtReadMemory(context.get(), body.data(), static_cast<int>(body.size()), nullptr, nullptr, options),
      xmlFreeDoc);
  if (state.sawDoctype || (doc && (doc->intSubset || doc->extSubset))) {
    result.status = FeedParseStatus::refused;
    return result;
  }
  if (!doc || (!recover && !context->wellFormed)) return result;
  const xmlNodePtr root = xmlDocGetRootElement(doc.get());
  if (!root) return result;
  if (xmlStrcmp(root->name, BAD_CAST "updates") != 0) {
    result.status = FeedParseStatus::notAFeed;
    return result;
  }

  std::unique_ptr<xmlXPathContext, decltype(&xmlXPathFreeContext)> xpath(xmlXPathNewContext(doc.get()),
                                                                        xmlXPathFreeContext);
  if (!xpath) return result;
  // A new XPath context has no context node; the relative path needs the document.
  xpath->node = reinterpret_cast<xmlNodePtr>(doc.get());
  std::unique_ptr<xmlXPathObject, decltype(&xmlXPathFreeObject)> found(
      xmlXPathEvalExpression(BAD_CAST "./updates/update", xpath.get()), xmlXPathFreeObject);
  result.status = FeedParseStatus::ok;
  if (!found || found->type != XPATH_NODESET || !found->nodesetval) return result;

  const xmlNodeSetPtr nodes = found->nodesetval;
  result.entries.reserve(static_cast<size_t>(nodes->nodeNr));
  for (int i = 0; i < nodes->nodeNr; ++i) {
    xmlNodePtr node = nodes->nodeTab[i];
    if (node->type != XML_ELEMENT_NODE) continue;
    FeedEntry entry;
    entry.version = attribute(node, "version");
    entry.downloadURL = webAddressAttribute(node, "downloadURL");
    entry.detailsURL = webAddressAttribute(node, "detailsURL");
    result.entries.push_back(std::move(entry));
  }
  return result;
}

}  // namespace moonwisp::update
