#pragma once

#include <lilv/lilv.h>

#include <memory>
#include <string>

namespace zw {

// Owned lilv values, freed when they go out of scope.
struct TLilvFree {
    void operator()(LilvNode* node) const { lilv_node_free(node); }
    void operator()(LilvState* state) const { lilv_state_free(state); }
    void operator()(LilvInstance* instance) const { lilv_instance_free(instance); }
};
using TLilvNode = std::unique_ptr<LilvNode, TLilvFree>;
// lilv's collections are all `void`: each needs a deleter of its own.
struct TLilvNodesFree {
    void operator()(LilvNodes* nodes) const { lilv_nodes_free(nodes); }
};
using TLilvNodes = std::unique_ptr<LilvNodes, TLilvNodesFree>;
using TLilvState = std::unique_ptr<LilvState, TLilvFree>;

inline TLilvNode LilvUri(LilvWorld* world, const char* uri) { return TLilvNode(lilv_new_uri(world, uri)); }

// The text of `node` (a URI or a literal); empty for none.
inline std::string LilvText(const LilvNode* node)
{
    if (!node)
        return {};
    const char* text = lilv_node_is_uri(node) ? lilv_node_as_uri(node) : lilv_node_as_string(node);
    return text ? text : "";
}

} // namespace zw
