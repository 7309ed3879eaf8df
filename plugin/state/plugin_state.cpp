#include "plugin/state/plugin_state.h"

namespace tunelark {

PluginState& Plugin() {
    static PluginState state;
    return state;
}

}  // namespace tunelark
