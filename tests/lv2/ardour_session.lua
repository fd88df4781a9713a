-- Varnex in a headless Ardour session, run by ardour7-lua on the dummy back end (no sound card).
--   ardour7-lua ardour_session.lua create DIR INPUT.wav FRAMES URI INDEX=VALUE...
--   ardour7-lua ardour_session.lua reload DIR FRAMES
-- create: a 48 kHz session in DIR with one mono track playing INPUT.wav (FRAMES long, mono, 48 kHz)
-- from the start, the plug-in URI inserted on it, its control inputs INDEX set to VALUE (in the
-- ports' own units), one bounce of the track with processing; the session saved.
-- reload: the saved session loaded again and bounced again (FRAMES long).
-- Both print "param INDEX VALUE" for every control input and "render PATH" for every channel of
-- the bounce; a failure raises a Lua error (ardour7-lua then prints it and exits non-zero).

local mode, dir = arg[1], arg[2]
local session, trackName = "varnex", "Bass"

local function startEngine()
  assert(AudioEngine:set_backend("None (Dummy)", "", ""), "no dummy back end")
  assert(AudioEngine:start(false) == 0, "the engine did not start")
end

local function controlCount(plugin)
  local n = 0
  for p = 0, plugin:parameter_count() - 1 do
    if plugin:parameter_is_control(p) and plugin:parameter_is_input(p) then n = n + 1 end
  end
  return n
end

local function printParams(insert)
  for i = 0, controlCount(insert:to_insert():plugin(0)) - 1 do
    print(string.format("param %d %.9g", i, ARDOUR.LuaAPI.get_processor_param(insert, i)))
  end
end

-- Ardour does not activate an LV2 plug-in again before a bounce, and while the engine runs the
-- plug-in processes the idle track's silence, for a number of cycles that depends on timing (the
-- product's state moves in silence too). The bounce starts from the plug-in's clean state instead,
-- as a user gets it by switching the plug-in off and on: off, which takes effect at the next
-- cycles; the engine stopped, so that nothing runs the plug-in but the bounce; on again, which
-- activates the plug-in.
local function bounce(track, frames, name)
  local insert = track:nth_plugin(0)
  insert:deactivate()
  assert(ARDOUR.LuaAPI.wait_for_process_callback(2, 5000), "the engine runs no cycle")
  assert(AudioEngine:stop(false) == 0, "the engine did not stop")
  insert:activate()
  local region = track:bounce_range(0, frames, ARDOUR.InterThreadInfo(), track:main_outs(), false, name)
  assert(not region:isnil(), "the bounce failed")
  for c = 0, region:to_audioregion():n_channels() - 1 do
    print("render " .. region:source(c):to_filesource():path())
  end
end

-- ardour7-lua cannot import a file: a silent bounce of the empty track makes the session's own
-- source of the input's length, played by a region from the start; the input's bytes then take
-- its place while the session is closed.
local function trackPlaying(input, frames)
  assert(create_session(dir, session, 48000), "no session made")
  local track = Session:new_audio_track(1, 2, nil, 1, trackName, ARDOUR.PresentationInfo.max_order,
    ARDOUR.TrackMode.Normal, true):front()
  local region = track:bounce_range(0, frames, ARDOUR.InterThreadInfo(), ARDOUR.LuaAPI.nil_proc(), false, "input")
  assert(not region:isnil(), "no source made")
  local path = region:source(0):to_filesource():path()
  track:playlist():add_region(region, Temporal.timepos_t(0), 1, false, 0, 0, false)
  for r in track:playlist():region_list():iter() do  -- the region as the file is: no fades
    r:to_audioregion():set_fade_in_active(false)
    r:to_audioregion():set_fade_out_active(false)
  end
  assert(Session:save_state("", false, false, false) == 0, "not saved")
  close_session()
  local from = assert(io.open(input, "rb"))
  local bytes = from:read("a")
  from:close()
  local to = assert(io.open(path, "wb"))
  to:write(bytes)
  to:close()
  assert(load_session(dir, session), "the session did not load")
  return Session:route_by_name(trackName):to_track()
end

local function create(input, frames, uri, settings)
  local track = trackPlaying(input, frames)
  local insert = ARDOUR.LuaAPI.new_plugin(Session, uri, ARDOUR.PluginType.LV2, "")
  assert(not insert:isnil(), "no plug-in " .. uri)
  assert(track:add_processor_by_index(insert, 0, nil, true) == 0, "the plug-in was not inserted")
  for _, s in ipairs(settings) do
    local i, v = s:match("^(%d+)=(.+)$")
    assert(ARDOUR.LuaAPI.set_processor_param(insert, tonumber(i), tonumber(v)), "cannot set " .. s)
  end
  printParams(insert)
  bounce(track, frames, "render")
  assert(Session:save_state("", false, false, false) == 0, "not saved")
end

local function reload(frames)
  assert(load_session(dir, session), "the session did not load")
  local track = Session:route_by_name(trackName):to_track()
  assert(not track:nth_plugin(0):isnil(), "the plug-in was not restored")
  printParams(track:nth_plugin(0))
  bounce(track, frames, "again")
end

startEngine()
if mode == "create" then
  create(arg[3], tonumber(arg[4]), arg[5], table.pack(table.unpack(arg, 6)))
elseif mode == "reload" then
  reload(tonumber(arg[3]))
else
  error("usage: ardour_session.lua create DIR INPUT.wav FRAMES URI INDEX=VALUE... | reload DIR FRAMES")
end
close_session()
