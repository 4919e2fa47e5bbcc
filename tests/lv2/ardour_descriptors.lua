-- Prints how Ardour 7 sees each LV2 parameter of the plug-in (toggle, enumeration, integer,
-- range). Optional check, not part of the test command; run it with tests/lv2/ardour_descriptors.sh.
local backend = AudioEngine:set_backend("None (Dummy)", "", "")
assert(backend, "no dummy backend")
AudioEngine:set_sample_rate(48000)
AudioEngine:start(false)
local dir = os.getenv("OXLADE_ARDOUR_SESSION")
local s = create_session(dir, "oxlade-descriptors", 48000)
assert(s, "no session")
local tracks = s:new_audio_track(2, 2, nil, 1, "t", ARDOUR.PresentationInfo.max_order, ARDOUR.TrackMode.Normal, true)
local plugin = ARDOUR.LuaAPI.new_plugin(s, "https://harlund.audio/plugins/oxlade", ARDOUR.PluginType.LV2, "")
assert(not plugin:isnil(), "plug-in not found")
tracks:front():add_processor_by_index(plugin, 0, nil, true)
local automatable = plugin:to_automatable()
for param in automatable:all_automatable_params():iter() do
  local control = automatable:automation_control(param, false)
  if not control:isnil() and control:name():find("^property%-") then
    local d = control:desc()
    print(string.format("%-16s toggled=%-5s enum=%-5s integer=%-5s %g..%g", control:name():gsub("^.*:", ""),
      tostring(d.toggled), tostring(d.enumeration), tostring(d.integer_step), d.lower, d.upper))
  end
end
close_session()
