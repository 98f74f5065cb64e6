-- ardour7-lua create_session.lua
-- env: SESSION_DIR SESSION_NAME PLUGIN_URI PARAMS="index=value,..." RUN_BEFORE_SAVE=1|0
--      PLUGIN_TYPE=LV2|VST3 (LV2 when unset; a VST3 plug-in is named by its name or class ID)
-- A session at 48 kHz with one stereo track "T" and the plug-in on it. Ardour counts the index
-- over all of a plug-in's control ports, outputs included, in port order. With RUN_BEFORE_SAVE=1
-- the engine runs the plug-in for a while between setting the values and saving; with 0 it is
-- stopped first, so the save comes before the plug-in has seen them.
local dir, name, uri = os.getenv("SESSION_DIR"), os.getenv("SESSION_NAME"), os.getenv("PLUGIN_URI")
local backend = AudioEngine:set_backend("None (Dummy)", "", "")
backend:set_device_name("Silence")
-- The session's rate on the engine too: a session on the dummy backend's default rate makes
-- ardour7-export deadlock when it starts the export.
AudioEngine:set_sample_rate(48000)
assert(AudioEngine:start(false) == 0, "engine start failed")
assert(create_session(dir, name, 48000), "create_session failed")
local track = Session:new_audio_track(2, 2, nil, 1, "T", ARDOUR.PresentationInfo.max_order,
                                      ARDOUR.TrackMode.Normal, true, false):front()
local kind = os.getenv("PLUGIN_TYPE") or "LV2"
local plugin = ARDOUR.LuaAPI.new_plugin(Session, uri, ARDOUR.PluginType[kind], "")
assert(not plugin:isnil(), kind .. " plug-in not found: " .. uri)
assert(track:add_processor_by_index(plugin, 0, nil, true) == 0, "add_processor_by_index failed")
local runBeforeSave = os.getenv("RUN_BEFORE_SAVE") ~= "0"
if not runBeforeSave then AudioEngine:stop(false) end
for pair in string.gmatch(os.getenv("PARAMS") or "", "[^,]+") do
  local index, value = pair:match("^(%d+)=(.+)$")
  assert(ARDOUR.LuaAPI.set_processor_param(plugin, tonumber(index), tonumber(value)),
         "set_processor_param failed for " .. pair)
end
if runBeforeSave then ARDOUR.LuaAPI.usleep(300000) end
assert(Session:save_state("", false, false, false, false, false) == 0, "save failed")
close_session()
