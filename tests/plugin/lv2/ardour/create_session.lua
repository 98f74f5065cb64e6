-- ardour7-lua create_session.lua
-- env: SESSION_DIR SESSION_NAME PLUGIN_URI PARAMS="index=value,..."
-- A session at 48 kHz with one stereo track "T" and the plug-in on it. Ardour counts the index
-- over all of a plug-in's control ports, outputs included, in port order.
local dir, name, uri = os.getenv("SESSION_DIR"), os.getenv("SESSION_NAME"), os.getenv("PLUGIN_URI")
local backend = AudioEngine:set_backend("None (Dummy)", "", "")
backend:set_device_name("Silence")
assert(AudioEngine:start(false) == 0, "engine start failed")
assert(create_session(dir, name, 48000), "create_session failed")
local track = Session:new_audio_track(2, 2, nil, 1, "T", ARDOUR.PresentationInfo.max_order,
                                      ARDOUR.TrackMode.Normal, true, false):front()
local plugin = ARDOUR.LuaAPI.new_plugin(Session, uri, ARDOUR.PluginType.LV2, "")
assert(not plugin:isnil(), "LV2 plug-in not found: " .. uri)
assert(track:add_processor_by_index(plugin, 0, nil, true) == 0, "add_processor_by_index failed")
for pair in string.gmatch(os.getenv("PARAMS") or "", "[^,]+") do
  local index, value = pair:match("^(%d+)=(.+)$")
  assert(ARDOUR.LuaAPI.set_processor_param(plugin, tonumber(index), tonumber(value)),
         "set_processor_param failed for " .. pair)
end
assert(Session:save_state("", false, false, false, false, false) == 0, "save failed")
close_session()
