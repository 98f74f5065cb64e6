-- ardour7-lua read_parameters.lua
-- env: SESSION_DIR SESSION_NAME
-- Loads the session and prints every control input of every plug-in as "param INDEX VALUE".
local backend = AudioEngine:set_backend("None (Dummy)", "", "")
backend:set_device_name("Silence")
AudioEngine:set_sample_rate(48000)
assert(AudioEngine:start(false) == 0, "engine start failed")
assert(load_session(os.getenv("SESSION_DIR"), os.getenv("SESSION_NAME")), "load_session failed")
for route in Session:get_routes():iter() do
  local n = 0
  while true do
    local processor = route:nth_plugin(n)
    if processor:isnil() then break end
    local plugin = processor:to_insert():plugin(0)
    print("plugin " .. plugin:unique_id())
    local index = 0
    for port = 0, plugin:parameter_count() - 1 do
      if plugin:parameter_is_control(port) then
        if plugin:parameter_is_input(port) then
          print(string.format("param %d %.9g", index,
                              ARDOUR.LuaAPI.get_processor_param(processor, index)))
        end
        index = index + 1
      end
    end
    n = n + 1
  end
end
close_session()
