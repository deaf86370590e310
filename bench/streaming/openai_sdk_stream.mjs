// The same stream read with the official openai package, the way an
// application would: the text is accumulated piece by piece.
//   node openai_sdk_stream.mjs <baseURL>
import OpenAI from 'openai';

const [baseURL] = process.argv.slice(2);
const client = new OpenAI({ apiKey: 'bench', baseURL, maxRetries: 0 });

const start = performance.now();
let firstPartialMs = -1;
let partials = 0;
let text = '';
const stream = await client.chat.completions.create({
  model: 'm',
  stream: true,
  messages: [{ role: 'user', content: 'go' }],
});
for await (const chunk of stream) {
  const piece = chunk.choices[0]?.delta?.content ?? '';
  if (!piece) continue;
  text += piece;
  partials += 1;
  if (firstPartialMs < 0) firstPartialMs = performance.now() - start;
}
const streamMs = performance.now() - start;
const usage = process.resourceUsage();
console.log(
  `first_partial_ms=${firstPartialMs.toFixed(1)} stream_ms=${streamMs.toFixed(1)} ` +
    `cpu_ms=${((usage.userCPUTime + usage.systemCPUTime) / 1000).toFixed(0)} ` +
    `peak_rss_mb=${(usage.maxRSS / 1024).toFixed(1)} partials=${partials} chars=${text.trim().length}`,
);
