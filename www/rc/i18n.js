// Texts of the page. Every text is a key of the dictionaries in i18n/ ("key =
// value" lines). English is the page's own language: its dictionary is read
// as a file beside the page before anything is shown, and stands in for any
// key another dictionary lacks; the others come through the system's "dict"
// command.
import { parseDictionary, parseJsonp } from './logic.js';

export const LANGUAGES = [
  { code: 'en', name: 'English' },
  { code: 'ru', name: 'Русский' },
];

const ENGLISH_FILE = 'i18n/en';
const ENGLISH_LIMIT = 20000; // ms, as any request of the page

let english = {};
let texts = {};
let language = 'en';

// t('play_named', {name: 'Album'}) -> "Play Album"
export function t(key, values) {
  let text = texts[key] ?? english[key] ?? key;
  if (values) for (const [k, v] of Object.entries(values)) text = text.split(`{${k}}`).join(String(v));
  return text;
}

export function currentLanguage() {
  return language;
}

// Reads the English dictionary; rejects when the box does not hand it over.
export async function loadEnglish() {
  const controller = new AbortController();
  const timer = setTimeout(() => controller.abort(), ENGLISH_LIMIT);
  try {
    const response = await fetch(ENGLISH_FILE, { credentials: 'same-origin', signal: controller.signal });
    if (!response.ok) throw new Error(`HTTP ${response.status}`);
    english = parseDictionary(await response.text());
  } finally {
    clearTimeout(timer);
  }
}

// Asks "dict" for a language; an unknown one leaves English.
export async function loadDictionary(api, code) {
  const answer = await api.call({ cmd: 'dict', action: 'get', lng: code, callback: 'dict', log: '0' });
  const dictionary = parseJsonp(String(answer));
  texts = dictionary;
  language = Object.keys(dictionary).length > 0 ? code : 'en';
  document.documentElement.lang = language;
  return language;
}
